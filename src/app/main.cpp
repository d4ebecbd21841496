// korvane-gui: the desktop program. The launcher, then one study form; the
// program ends when the form is closed.

#include "app/Korvane.h"

int main(int argc, char** argv) {
  korvane::KorvaneApp app(argc, argv);
  return app.Run();
}

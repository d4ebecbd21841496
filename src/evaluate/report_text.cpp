#include "evaluate/report_text.h"

#include <fmt/format.h>

#include <cctype>
#include <cmath>

namespace korvane {

void AppendHtmlEscaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
}

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '<':
        out += "\\u003c";
        break;
      case '>':
        out += "\\u003e";
        break;
      case '&':
        out += "\\u0026";
        break;
      default:
        if (c < 0x20) {
          out += fmt::format("\\u{:04x}", static_cast<unsigned>(c));
        } else if (c == 0xe2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xa8 ||
                    static_cast<unsigned char>(text[i + 2]) == 0xa9)) {
          // U+2028 and U+2029, line ends to older JavaScript parsers.
          out += static_cast<unsigned char>(text[i + 2]) == 0xa8 ? "\\u2028" : "\\u2029";
          i += 2;
        } else {
          out += text[i];
        }
    }
  }
  out += '"';
}

void AppendJsonNumber(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  fmt::format_to(std::back_inserter(out), "{}", value);
}

void AppendScriptText(std::string& out, std::string_view script) {
  constexpr std::string_view kEnd = "</script";
  std::size_t from = 0;
  for (std::size_t i = 0; i + kEnd.size() <= script.size(); ++i) {
    if (script[i] != '<' || script[i + 1] != '/') continue;
    bool match = true;
    for (std::size_t k = 2; k < kEnd.size() && match; ++k) {
      match = std::tolower(static_cast<unsigned char>(script[i + k])) == kEnd[k];
    }
    if (!match) continue;
    out.append(script, from, i + 1 - from);
    out += '\\';
    from = i + 1;
  }
  out.append(script, from);
}

std::string FormatReportNumber(double value) {
  if (std::isnan(value)) return "\u2014";
  if (std::isinf(value)) return value > 0 ? "\u221e" : "\u2212\u221e";
  return fmt::format("{:.4g}", value);
}

}  // namespace korvane

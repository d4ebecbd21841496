#pragma once

// A study form over one study object: the record's exchange with the form's
// controls, the run with the form as host, and the run record that every run
// leaves in its output directory (the same record the command line writes, so
// a run started from the form can be repeated with `--params`).

#include <QString>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>

#include "app/field_binding.h"
#include "app/study_form.h"
#include "run/run_record.h"
#include "run/version.h"

namespace korvane {

// The run record of a run that was not refused; `wroteNothing` when the run
// failed before its output directory existed, then nothing is recorded.
std::optional<QString> AppendFormRunRecord(RunRecord record, const std::filesystem::path& outputDirectory,
                                           const RunOptions& options, const RunOutcome& outcome,
                                           std::int64_t startSeconds);

template <class Study>
class BoundStudyForm : public StudyForm {
 public:
  using Record = decltype(Study::parameters);

  const Record& Parameters() const { return study_.parameters; }

 protected:
  BoundStudyForm(const QString& caption, int pointSize, int width, int height, FieldTable<Record> table,
                 std::string studyName, QWidget* parent)
      : StudyForm(caption, pointSize, width, height, parent), table_(table), studyName_(std::move(studyName)) {}

  // Binds the record's fields to the controls, once they all exist.
  void Bind() { binding_.emplace(table_, Builder()); }

  void ShowRecord() override {
    if (binding_) binding_->Show(study_.parameters);
  }

  std::optional<FieldFailure> TakeRecord(MessageLanguage language) override {
    return binding_->Take(study_.parameters, language);
  }

  std::string RecordOutputDirectory() const override { return study_.parameters.outputDirectory; }
  int RecordReplicateCount() const override { return study_.parameters.replicateCount; }

  RunOutcome RunStudy(const RunOptions& options) override {
    try {
      return study_.Run(options, *this);
    } catch (const std::exception& e) {
      study_.parameters.statusText = kIdleStatus;
      RunOutcome outcome;
      outcome.status = RunOutcome::Status::kFailed;
      outcome.message = e.what();
      return outcome;
    }
  }

  void SetModel(ModelKind model) override { study_.parameters.modelKind = model; }

  std::optional<QString> RecordRun(const RunOptions& options, const RunOutcome& outcome,
                                   std::int64_t startSeconds) override {
    RunRecord record;
    record.study = studyName_;
    record.model = study_.parameters.modelKind;
    record.fields = RecordFields(study_.parameters, table_);
    return AppendFormRunRecord(std::move(record), study_.parameters.outputDirectory, options, outcome, startSeconds);
  }

 private:
  FieldTable<Record> table_;
  std::string studyName_;
  Study study_;
  std::optional<FieldBinding<Record>> binding_;
};

}  // namespace korvane

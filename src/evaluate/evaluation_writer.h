#pragma once

// The evaluation of a replicate as it is simulated: a writer attached to
// every attempt that gathers what the truth files and Plink.ped would hold,
// rounded as they round it, and hands the whole replicate on when a
// successful attempt is closed (a discarded attempt hands nothing on).

#include <functional>
#include <vector>

#include "evaluate/evaluation_input.h"
#include "output/format_writer.h"

namespace korvane {

class EvaluationWriter : public FormatWriter {
 public:
  using Deliver = std::function<void(ReplicateInput&& input)>;

  EvaluationWriter(int replicate, StudyKind study, AncestryFormat ancestry, Deliver deliver);

  void Locus(const MapEntry& entry) override;
  void Individual(const IndividualRecord& individual, const GenotypeRow& row) override;
  void Finish(const ReplicateTruth& truth) override;
  void Close() override;

 private:
  ReplicateInput input_;
  AncestryFormat ancestry_;
  Deliver deliver_;
  std::vector<std::int8_t> byIndividual_;  // the dosages, individual after individual
  double centimorgans_ = 0;
  bool finished_ = false;
};

}  // namespace korvane

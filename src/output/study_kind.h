#pragma once

namespace korvane {

// The study a replicate's files belong to: it decides which formats exist
// (a quantitative study has no case-control formats) and the log names.
enum class StudyKind { kQualitative, kQuantitative };

}  // namespace korvane

#include "run/shard_merge.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>
#include <utility>

#include "output/replicate_folders.h"
#include "run/run_record.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

// The run's files beside its replicate folders (named as the causal-locus
// logs and the truth writer name them).
constexpr const char* kQualLogs[] = {"Causal_Locus_Plink&Admixmap&Eigensoft.txt", "Causal_Locus_Strat&GC.txt"};
constexpr const char* kQuanLogs[] = {"Causal_Loci_Plink&Admixmap&Eigensoft.txt", "Causal_Loci_Strat&GC.txt"};
constexpr const char* kTruthLoci = "Truth_Loci.tsv";

// The keys of a run record that differ between the shards of one run; every
// other key must have the same text in all of them.
const std::set<std::string, std::less<>> kShardKeys = {"start",
                                                       "first-replicate",
                                                       "replicate-count",
                                                       "replicates-completed",
                                                       "replicates-short-of-null-loci",
                                                       "fewest-null-loci",
                                                       "output-directory",
                                                       "output-directory-bytes"};

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(fmt::format("cannot read {}", path.string()));
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error(fmt::format("cannot read {}", path.string()));
  return text;
}

// Writes `text` as the whole of a new file; every step is checked.
void WriteWhole(const fs::path& path, const std::string& text) {
  const auto fail = [&path](int error) {
    throw std::runtime_error(fmt::format("cannot write {}: {}", path.string(), std::generic_category().message(error)));
  };
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) fail(errno);
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const int error = written < 0 ? errno : ENOSPC;
      ::close(fd);
      fail(error);
    }
    done += static_cast<std::size_t>(written);
  }
  if (::close(fd) != 0) fail(errno);
}

// The lines of a text, each with its line end ("\n" or "\r\n"); a last line
// without one is kept as it is.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    const std::size_t next = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, next - start));
    start = next;
  }
  return lines;
}

std::optional<int> WholeNumber(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

// One [[run]] table of a record written by a run: its "key = value" lines in
// their order, the values as written.
struct RecordTable {
  std::vector<std::pair<std::string, std::string>> lines;

  const std::string* Find(std::string_view key) const {
    for (const auto& [k, v] : lines) {
      if (k == key) return &v;
    }
    return nullptr;
  }
};

struct Shard {
  fs::path dir;
  RecordTable record;
  int first = 0;
  int count = 0;
  int last() const { return first + count - 1; }
  bool qualitative = true;
};

std::string Name(const fs::path& dir) { return dir.string(); }

// "replicate 4" or "replicates 4 to 6".
std::string Replicates(int first, int last) {
  return first == last ? fmt::format("replicate {}", first) : fmt::format("replicates {} to {}", first, last);
}

RecordTable ReadRecord(const fs::path& shardDir) {
  const fs::path path = shardDir / kRunRecordFile;
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    throw MergeRefused(
        fmt::format("{}: no run record {}: not the output directory of a run", Name(shardDir), kRunRecordFile));
  }
  const std::vector<std::string> lines = Lines(ReadWhole(path));
  const auto tables = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.starts_with("[[run]]") && line.find_first_not_of("\r\n", 7) == std::string::npos;
  });
  if (tables != 1) {
    throw MergeRefused(
        fmt::format("{}: holds {} runs; a shard is the output directory of exactly one run", path.string(), tables));
  }
  RecordTable table;
  bool inTable = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string line = lines[i];
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.empty()) continue;
    if (line == "[[run]]") {
      inTable = true;
      continue;
    }
    const std::size_t eq = line.find(" = ");
    if (!inTable || eq == std::string::npos) {
      throw MergeRefused(fmt::format("{}:{}: not a line of the record a run writes: {}", path.string(), i + 1, line));
    }
    table.lines.emplace_back(line.substr(0, eq), line.substr(eq + 3));
  }
  return table;
}

int RecordInteger(const Shard& shard, std::string_view key) {
  const std::string* text = shard.record.Find(key);
  const std::optional<int> value = text ? WholeNumber(*text) : std::nullopt;
  if (!value) {
    throw MergeRefused(fmt::format("{}/{}: no whole number for {}", Name(shard.dir), kRunRecordFile, key));
  }
  return *value;
}

// The shard's record, range and files, checked to be one completed run
// whose directory holds its replicates and nothing the merge does not know
// (an evaluation folder only when `evaluations`).
Shard ReadShard(const fs::path& dir, bool evaluations) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) throw MergeRefused(fmt::format("{}: not a directory", Name(dir)));
  Shard shard;
  shard.dir = dir;
  shard.record = ReadRecord(dir);
  const std::string* outcome = shard.record.Find("outcome");
  if (outcome == nullptr || *outcome != "\"completed\"") {
    throw MergeRefused(fmt::format("{}: its run did not complete (outcome {}); run the shard again", Name(dir),
                                   outcome ? *outcome : "missing"));
  }
  shard.first = RecordInteger(shard, "first-replicate");
  shard.count = RecordInteger(shard, "replicate-count");
  if (RecordInteger(shard, "replicates-completed") != shard.count) {
    throw MergeRefused(fmt::format("{}: {} of {} replicates completed", Name(dir),
                                   RecordInteger(shard, "replicates-completed"), shard.count));
  }
  if (shard.count == 0) throw MergeRefused(fmt::format("{}: holds no replicate", Name(dir)));
  const std::string* study = shard.record.Find("study");
  shard.qualitative = study != nullptr && *study == "\"qual\"";

  // Every entry is a replicate of the range or a file of the run.
  std::set<std::string, std::less<>> known = {kRunRecordFile, kTruthLoci};
  for (const char* name : shard.qualitative ? kQualLogs : kQuanLogs) known.insert(name);
  std::set<int> folders;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    const std::optional<int> n = WholeNumber(name);
    if (n && std::to_string(*n) == name && entry.is_directory()) {
      if (*n < shard.first || *n > shard.last()) {
        throw MergeRefused(fmt::format("{}: replicate folder {} lies outside the run's replicates {} to {}", Name(dir),
                                       name, shard.first, shard.last()));
      }
      folders.insert(*n);
      continue;
    }
    if (name.ends_with(".partial")) {
      throw MergeRefused(
          fmt::format("{}: holds {}, the unfinished folder of a stopped or failed run", Name(dir), name));
    }
    if (name.starts_with(".")) continue;  // a hidden file is no run's: a workflow engine's mark, say
    if (name == "evaluation" && entry.is_directory()) {
      // Its results are combined by the caller (the merge command), which
      // says so in the request; the folder stays in the shard.
      if (evaluations) continue;
      throw MergeRefused(fmt::format(
          "{}: holds an evaluation, which this merge does not combine; merge the shards with korvane merge, which "
          "combines the evaluations of shards that all have one",
          Name(dir)));
    }
    if (known.count(name) == 0 || !entry.is_regular_file()) {
      throw MergeRefused(fmt::format("{}: holds {}, which is not a file of a run's output", Name(dir), name));
    }
  }
  if (ec) throw std::runtime_error(fmt::format("{}: cannot be read ({})", Name(dir), ec.message()));
  for (int n = shard.first; n <= shard.last(); ++n) {
    if (folders.count(n) == 0) throw MergeRefused(fmt::format("{}: replicate folder {} is missing", Name(dir), n));
  }
  return shard;
}

// Refuses shards that are not of one run: a different seed, or any setting
// (every record key but those of the shard's range) with another text.
void CheckSameRun(const std::vector<Shard>& shards) {
  const Shard& first = shards.front();
  for (const Shard& shard : shards) {
    const std::string* seedA = first.record.Find("seed");
    const std::string* seedB = shard.record.Find("seed");
    if (seedA == nullptr || seedB == nullptr || *seedA != *seedB) {
      throw MergeRefused(fmt::format("different seeds: {} has seed {}, {} has seed {}", Name(first.dir),
                                     seedA ? *seedA : "none", Name(shard.dir), seedB ? *seedB : "none"));
    }
    std::map<std::string, std::string, std::less<>> a, b;
    for (const auto& [key, value] : first.record.lines) {
      if (kShardKeys.count(key) == 0) a[key] = value;
    }
    for (const auto& [key, value] : shard.record.lines) {
      if (kShardKeys.count(key) == 0) b[key] = value;
    }
    for (const auto& [key, value] : a) {
      const auto other = b.find(key);
      if (other == b.end() || other->second != value) {
        throw MergeRefused(fmt::format("different settings: {} is {} in {} but {} in {}", key, value, Name(first.dir),
                                       other == b.end() ? "missing" : other->second, Name(shard.dir)));
      }
    }
    for (const auto& [key, value] : b) {
      if (a.count(key) == 0) {
        throw MergeRefused(fmt::format("different settings: {} is {} in {} but missing in {}", key, value,
                                       Name(shard.dir), Name(first.dir)));
      }
    }
  }
}

// Refuses overlapping ranges and gaps between them, naming the replicates.
void CheckRanges(const std::vector<Shard>& shards) {
  for (std::size_t i = 1; i < shards.size(); ++i) {
    const Shard& before = shards[i - 1];
    const Shard& shard = shards[i];
    if (shard.first <= before.last()) {
      throw MergeRefused(fmt::format("overlapping shards: {} and {} both hold {}", Name(before.dir), Name(shard.dir),
                                     Replicates(shard.first, std::min(before.last(), shard.last()))));
    }
    if (shard.first > before.last() + 1) {
      throw MergeRefused(fmt::format("missing {}: in no shard (between {} and {})",
                                     Replicates(before.last() + 1, shard.first - 1), Name(before.dir),
                                     Name(shard.dir)));
    }
  }
}

// The lines of the file `name` of `shard`, which must be there and start
// with the header line of the first shard's; the first shard's header
// starts `merged`.
std::vector<std::string> LinesUnderOneHeader(const std::vector<Shard>& shards, const Shard& shard, const char* name,
                                             std::string& merged) {
  const fs::path path = shard.dir / name;
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) throw MergeRefused(fmt::format("{}: missing", path.string()));
  std::vector<std::string> lines = Lines(ReadWhole(path));
  if (lines.empty()) throw MergeRefused(fmt::format("{}: empty", path.string()));
  if (&shard == &shards.front()) {
    merged = lines.front();
  } else if (!merged.starts_with(lines.front())) {
    throw MergeRefused(fmt::format("different settings: the header of {} differs from that of {}", path.string(),
                                   (shards.front().dir / name).string()));
  }
  return lines;
}

// A causal-locus log of the shards as one run writes it: the header once,
// then each replicate's line in order. Each shard's log must be one header
// and exactly the lines of its replicates.
std::string MergeLog(const std::vector<Shard>& shards, const char* name) {
  std::string merged;
  for (const Shard& shard : shards) {
    const fs::path path = shard.dir / name;
    const std::vector<std::string> lines = LinesUnderOneHeader(shards, shard, name, merged);
    if (static_cast<int>(lines.size()) - 1 != shard.count) {
      throw MergeRefused(fmt::format("{}: {} lines of replicates for the run's {} replicates", path.string(),
                                     lines.size() - 1, shard.count));
    }
    for (int k = 0; k < shard.count; ++k) {
      const std::string& line = lines[static_cast<std::size_t>(k) + 1];
      const std::string start = fmt::format("{}      ", shard.first + k);
      if (!line.starts_with(start) || line.back() != '\n') {
        throw MergeRefused(
            fmt::format("{}:{}: not the complete line of replicate {}", path.string(), k + 2, shard.first + k));
      }
      merged += line;
    }
  }
  return merged;
}

// Truth_Loci.tsv of the shards: the header once, then the rows in replicate
// order. Absent in every shard (a run without truth files) gives nullopt.
std::optional<std::string> MergeTruthLoci(const std::vector<Shard>& shards) {
  std::error_code ec;
  std::size_t present = 0;
  for (const Shard& shard : shards) present += fs::is_regular_file(shard.dir / kTruthLoci, ec) ? 1 : 0;
  if (present == 0) return std::nullopt;
  std::string merged;
  for (const Shard& shard : shards) {
    const fs::path path = shard.dir / kTruthLoci;
    const std::vector<std::string> lines = LinesUnderOneHeader(shards, shard, kTruthLoci, merged);
    int previous = shard.first;
    for (std::size_t i = 1; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      const std::optional<int> n = WholeNumber(std::string_view(line).substr(0, line.find('\t')));
      if (!n || *n < previous || *n > shard.last() || line.back() != '\n') {
        throw MergeRefused(fmt::format("{}:{}: not a row of the run's replicates {} to {}", path.string(), i + 1,
                                       shard.first, shard.last()));
      }
      previous = *n;
      merged += line;
    }
  }
  return merged;
}

// The record of the whole range, in the shards' key order.
std::string MergeRecord(const std::vector<Shard>& shards, const std::string& outputDirectory) {
  int total = 0;
  int shortOfNull = 0;
  int fewestNull = 0;
  std::string start = *shards.front().record.Find("start");
  for (const Shard& shard : shards) {
    total += shard.count;
    if (shard.record.Find("replicates-short-of-null-loci") != nullptr) {
      shortOfNull += RecordInteger(shard, "replicates-short-of-null-loci");
      const int fewest = RecordInteger(shard, "fewest-null-loci");
      fewestNull = fewestNull == 0 ? fewest : std::min(fewestNull, fewest);
    }
    const std::string* shardStart = shard.record.Find("start");
    if (shardStart != nullptr && *shardStart < start) start = *shardStart;  // ISO 8601 UTC: text order is time order
  }
  // The output directory's text as a run writes it (the record's own quoting).
  RunRecord directoryOnly;
  directoryOnly.fields.push_back({"output-directory", FieldType::kText, outputDirectory});
  const std::vector<std::string> directoryLines = Lines(FormatRunRecord(directoryOnly));

  std::string text = "[[run]]\n";
  for (const auto& [key, value] : shards.front().record.lines) {
    if (key == "replicates-short-of-null-loci" || key == "fewest-null-loci" || key == "output-directory-bytes") {
      continue;
    }
    if (key == "start") {
      text += fmt::format("start = {}\n", start);
    } else if (key == "first-replicate") {
      text += fmt::format("first-replicate = {}\n", shards.front().first);
    } else if (key == "replicate-count") {
      text += fmt::format("replicate-count = {}\n", total);
    } else if (key == "replicates-completed") {
      text += fmt::format("replicates-completed = {}\n", total);
      if (shortOfNull > 0) {
        text += fmt::format("replicates-short-of-null-loci = {}\nfewest-null-loci = {}\n", shortOfNull, fewestNull);
      }
    } else if (key == "output-directory") {
      for (const std::string& line : directoryLines) {
        if (line.starts_with("output-directory")) text += line;
      }
    } else {
      text += fmt::format("{} = {}\n", key, value);
    }
  }
  return text;
}

// Hard-links (or, across file systems, copies) every file of `from` into the
// new folder `to`.
void LinkFolder(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::create_directory(to, ec);
  if (ec) throw std::runtime_error(fmt::format("cannot create {}: {}", to.string(), ec.message()));
  for (const auto& entry : fs::directory_iterator(from, ec)) {
    const fs::path target = to / entry.path().filename();
    if (entry.is_directory()) {
      LinkFolder(entry.path(), target);
      continue;
    }
    fs::create_hard_link(entry.path(), target, ec);
    if (ec == std::errc::cross_device_link || ec == std::errc::operation_not_permitted) {
      ec.clear();
      fs::copy_file(entry.path(), target, ec);
    }
    if (ec) {
      throw std::runtime_error(
          fmt::format("cannot link {} to {}: {}", entry.path().string(), target.string(), ec.message()));
    }
  }
  if (ec) throw std::runtime_error(fmt::format("{}: cannot be read ({})", from.string(), ec.message()));
}

}  // namespace

MergeSummary MergeShards(const MergeRequest& request) {
  if (request.shards.empty()) throw MergeRefused("no shard to merge");
  std::vector<Shard> shards;
  for (const fs::path& dir : request.shards) shards.push_back(ReadShard(dir, request.evaluations));
  std::sort(shards.begin(), shards.end(), [](const Shard& a, const Shard& b) { return a.first < b.first; });
  CheckSameRun(shards);
  CheckRanges(shards);

  const bool qualitative = shards.front().qualitative;
  std::vector<std::pair<std::string, std::string>> files;
  for (const char* name : qualitative ? kQualLogs : kQuanLogs) files.emplace_back(name, MergeLog(shards, name));
  if (std::optional<std::string> truth = MergeTruthLoci(shards)) files.emplace_back(kTruthLoci, std::move(*truth));
  files.emplace_back(kRunRecordFile, MergeRecord(shards, request.outputDirectory));

  const fs::path out = request.outputDirectory;
  std::error_code ec;
  if (fs::exists(out, ec) && !(fs::is_directory(out, ec) && fs::is_empty(out, ec))) {
    throw MergeRefused(
        fmt::format("{}: exists and is not an empty directory; merge into a new one", request.outputDirectory));
  }
  fs::create_directories(out, ec);
  if (ec) throw std::runtime_error(fmt::format("cannot create {}: {}", request.outputDirectory, ec.message()));
  // No run may write into the merged directory while it is laid out.
  const std::optional<OutputDirectoryLock> lock = OutputDirectoryLock::TryAcquire(request.outputDirectory);
  if (!lock) throw MergeRefused(fmt::format("{}: another run is writing into it", request.outputDirectory));

  for (const Shard& shard : shards) {
    for (int n = shard.first; n <= shard.last(); ++n) {
      const fs::path from = shard.dir / std::to_string(n);
      const fs::path to = out / std::to_string(n);
      if (request.link) {
        LinkFolder(from, to);
      } else {
        fs::rename(from, to, ec);
        if (ec == std::errc::cross_device_link) {  // another file system: copied, then removed
          ec.clear();
          LinkFolder(from, to);
          fs::remove_all(from, ec);
        }
        if (ec) {
          throw std::runtime_error(fmt::format("cannot move {} to {}: {}", from.string(), to.string(), ec.message()));
        }
      }
    }
  }
  for (const auto& [name, text] : files) WriteWhole(out / name, text);

  MergeSummary summary;
  summary.firstReplicate = shards.front().first;
  summary.replicateCount = shards.back().last() - shards.front().first + 1;
  summary.shardCount = static_cast<int>(shards.size());
  return summary;
}

}  // namespace korvane

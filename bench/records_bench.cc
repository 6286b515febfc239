// Records at scale, each against a raw baseline doing the same work on plain strings in the same
// run (family name + "_Raw"):
//   - DynArrayBuild/N: a text of N fields built field after field, each field the eleven values
//     of a search row, with DynArrayBuilder; the baseline appends the same pieces and marks to a
//     std::string;
//   - DynArrayAppendField/N: the same text built with DynArray::AppendField, one whole row a
//     field;
//   - DynArrayWalk/N: every value of every field of that text visited in order through
//     Fields() and ValuesOf(); the baseline finds the marks itself;
//   - DynArrayWalkByPosition/N: the same visit by number (Field(i), then the values of the
//     field walked), as loops over rows were written before: quadratic, shown for contrast at
//     small sizes only;
//   - ConfigurationFile/N: the configuration file with N laptop bases and N office bases read
//     and parsed (ReadConfigurationFile, ParseConfiguration); the baseline reads the same file,
//     checks it is UTF-8, cuts it into lines, finds the same sections and entries and joins
//     the same lists.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "connection/configuration.h"
#include "db/dyn_array.h"

namespace {

namespace db = cortevane::db;

// The eleven values of a search row for person i, as the import window's search returns them.
std::vector<std::string> RowValues(long i) {
  char code[16];
  std::snprintf(code, sizeof code, "%05ld", i % 100000);
  return {code,
          "DUPONT-" + std::to_string(i % 997),
          "Hélène",
          std::to_string(i % 200) + " RUE",
          "",
          "BAT " + std::to_string(i % 7),
          "",
          "",
          "",
          "LYON",
          i % 13 ? "" : "S"};
}

std::vector<std::vector<std::string>> Rows(long n) {
  std::vector<std::vector<std::string>> rows;
  rows.reserve(static_cast<size_t>(n));
  for (long i = 0; i < n; ++i) rows.push_back(RowValues(i));
  return rows;
}

std::string Joined(const std::vector<std::string>& values) {
  std::string out;
  for (size_t v = 0; v < values.size(); ++v) {
    if (v > 0) out.push_back(db::kValueMark);
    out += values[v];
  }
  return out;
}

std::string RawText(const std::vector<std::vector<std::string>>& rows) {
  std::string out;
  for (size_t r = 0; r < rows.size(); ++r) {
    if (r > 0) out.push_back(db::kFieldMark);
    for (size_t v = 0; v < rows[r].size(); ++v) {
      if (v > 0) out.push_back(db::kValueMark);
      out += rows[r][v];
    }
  }
  return out;
}

void Sized(benchmark::State& state, size_t bytes) {
  state.counters["fields"] = static_cast<double>(state.range(0));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

void BM_DynArrayBuild(benchmark::State& state) {
  const auto rows = Rows(state.range(0));
  const std::string expected = RawText(rows);
  std::string text;
  for (auto _ : state) {
    db::DynArrayBuilder builder;
    for (const auto& row : rows) {
      builder.StartField();
      for (const std::string& value : row) builder.AddValue(value);
    }
    text = builder.TakeText();
    benchmark::DoNotOptimize(text.data());
  }
  if (text != expected) state.SkipWithError("the builder gave another text");
  Sized(state, text.size());
}

void BM_DynArrayBuild_Raw(benchmark::State& state) {
  const auto rows = Rows(state.range(0));
  std::string text;
  for (auto _ : state) {
    text = RawText(rows);
    benchmark::DoNotOptimize(text.data());
  }
  Sized(state, text.size());
}

void BM_DynArrayAppendField(benchmark::State& state) {
  const auto rows = Rows(state.range(0));
  std::vector<std::string> fields;
  for (const auto& row : rows) fields.push_back(Joined(row));
  const std::string expected = RawText(rows);
  db::DynArray array;
  for (auto _ : state) {
    array = db::DynArray();
    for (const std::string& field : fields) array.AppendField(field);
    benchmark::DoNotOptimize(array.Text().data());
  }
  if (array.Text() != expected) state.SkipWithError("AppendField gave another text");
  Sized(state, array.Text().size());
}

void BM_DynArrayAppendField_Raw(benchmark::State& state) {
  const auto rows = Rows(state.range(0));
  std::vector<std::string> fields;
  for (const auto& row : rows) fields.push_back(Joined(row));
  std::string text;
  for (auto _ : state) {
    text.clear();
    text.shrink_to_fit();  // as a new array starts without room
    for (size_t f = 0; f < fields.size(); ++f) {
      if (f > 0) text.push_back(db::kFieldMark);
      text += fields[f];
    }
    benchmark::DoNotOptimize(text.data());
  }
  Sized(state, text.size());
}

// What a walk computes: the number of values and the bytes they hold.
struct Visit {
  long values = 0;
  size_t bytes = 0;
  void Take(std::string_view value) {
    ++values;
    bytes += value.size();
  }
};

void ReportVisit(benchmark::State& state, const Visit& visit, size_t text_bytes) {
  if (visit.values != state.range(0) * 11) state.SkipWithError("the walk missed values");
  Sized(state, text_bytes);
}

void BM_DynArrayWalk(benchmark::State& state) {
  const db::DynArray array(RawText(Rows(state.range(0))));
  Visit visit;
  for (auto _ : state) {
    visit = {};
    for (std::string_view field : array.Fields())
      for (std::string_view value : db::ValuesOf(field)) visit.Take(value);
    benchmark::DoNotOptimize(visit);
  }
  ReportVisit(state, visit, array.Text().size());
}

void BM_DynArrayWalk_Raw(benchmark::State& state) {
  const std::string text = RawText(Rows(state.range(0)));
  Visit visit;
  for (auto _ : state) {
    visit = {};
    const std::string_view all = text;
    size_t start = 0;
    while (start <= all.size()) {
      size_t end = all.find(db::kFieldMark, start);
      if (end == std::string_view::npos) end = all.size();
      const std::string_view field = all.substr(start, end - start);
      size_t v = 0;
      while (v <= field.size()) {
        size_t stop = field.find(db::kValueMark, v);
        if (stop == std::string_view::npos) stop = field.size();
        visit.Take(field.substr(v, stop - v));
        v = stop + 1;
      }
      start = end + 1;
    }
    benchmark::DoNotOptimize(visit);
  }
  ReportVisit(state, visit, text.size());
}

void BM_DynArrayWalkByPosition(benchmark::State& state) {
  const db::DynArray array(RawText(Rows(state.range(0))));
  Visit visit;
  for (auto _ : state) {
    visit = {};
    const int count = array.Count();
    for (int f = 1; f <= count; ++f) {
      const std::string field = array.Field(f);
      for (std::string_view value : db::ValuesOf(field)) visit.Take(value);
    }
    benchmark::DoNotOptimize(visit);
  }
  ReportVisit(state, visit, array.Text().size());
}

void BM_DynArrayWalkByPosition_Raw(benchmark::State& state) { BM_DynArrayWalk_Raw(state); }

// A configuration file of n laptop bases and n office bases, written once per size.
std::filesystem::path ConfigurationFile(long n) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("cortevane-config-bench-" + std::to_string(n) + ".ini");
  std::ofstream out(path, std::ios::binary);
  out << "[SERVEUR]\r\nServeur=localhost\r\n\r\n[DISTANT SERVEUR]\r\nServeur2=bureau\r\n\r\n"
         "[BASES]\r\n";
  for (long i = 1; i <= n; ++i) out << "Portable " << i << "=C:\\KESTA\\BASE" << i << "\r\n";
  out << "\r\n[DISTANT BASES]\r\n";
  for (long i = 1; i <= n; ++i) out << "Bureau " << i << "=kesta_bureau_" << i << "\r\n";
  return path;
}

void BM_ConfigurationFile(benchmark::State& state) {
  const auto path = ConfigurationFile(state.range(0));
  cortevane::connection::Configuration c;
  for (auto _ : state) {
    auto lines = cortevane::connection::ReadConfigurationFile(path);
    if (!lines) {
      state.SkipWithError("cannot read the file");
      break;
    }
    c = cortevane::connection::ParseConfiguration(*lines);
    benchmark::DoNotOptimize(c.W_Bases.Text().data());
  }
  if (static_cast<long>(c.base_names.size()) != state.range(0) ||
      c.W_BasesDistantes.Count() != state.range(0))
    state.SkipWithError("the file was not read whole");
  state.counters["entries"] = static_cast<double>(2 * state.range(0));
  std::filesystem::remove(path);
}

// The same file read, checked as UTF-8, cut into lines at CR LF, its sections found and its
// entries split at the first "=" into the list of names and the two joined lists of paths.
void BM_ConfigurationFile_Raw(benchmark::State& state) {
  const auto path = ConfigurationFile(state.range(0));
  long entries = 0;
  for (auto _ : state) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bool utf8 = true;
    for (size_t i = 0; i < bytes.size() && utf8; ++i) {
      const auto b = static_cast<unsigned char>(bytes[i]);
      if (b < 0x80) continue;
      const size_t n = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
      utf8 = n != 0 && i + n <= bytes.size();
      for (size_t k = 1; utf8 && k < n; ++k)
        utf8 = (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
      i += n ? n - 1 : 0;
    }
    std::vector<std::string> lines;
    for (size_t start = 0; start < bytes.size();) {
      size_t end = bytes.find_first_of("\r\n", start);
      if (end == std::string::npos) end = bytes.size();
      lines.push_back(bytes.substr(start, end - start));
      start = end + 1;
      if (end < bytes.size() && bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n')
        ++start;
    }
    std::vector<std::string> names;
    std::string bases, distant;
    std::string host, distant_host;
    int section = 0;  // 1: laptop bases, 2: office bases
    entries = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      if (line.empty()) {
        section = 0;
        continue;
      }
      if (line == "[SERVEUR]" && i + 1 < lines.size()) host = lines[++i].substr(8);
      if (line == "[DISTANT SERVEUR]" && i + 1 < lines.size()) distant_host = lines[++i].substr(9);
      if (line == "[BASES]" || line == "[DISTANT BASES]") {
        section = line == "[BASES]" ? 1 : 2;
        continue;
      }
      const size_t equal = line.find('=');
      if (section == 0 || equal == std::string::npos) continue;
      ++entries;
      if (section == 1) {
        names.push_back(line.substr(0, equal));
        if (names.size() > 1) bases.push_back(db::kFieldMark);
        bases.append(line, equal + 1);
      } else {
        if (!distant.empty()) distant.push_back(db::kFieldMark);
        distant.append(line, equal + 1);
        distant.push_back(db::kValueMark);
        distant.append(line, 0, equal);
      }
    }
    benchmark::DoNotOptimize(utf8);
    benchmark::DoNotOptimize(bases.data());
    benchmark::DoNotOptimize(distant.data());
  }
  if (entries != 2 * state.range(0)) state.SkipWithError("the file was not read whole");
  state.counters["entries"] = static_cast<double>(entries);
  std::filesystem::remove(path);
}

BENCHMARK(BM_DynArrayBuild)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DynArrayBuild_Raw)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DynArrayAppendField)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DynArrayAppendField_Raw)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DynArrayWalk)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DynArrayWalk_Raw)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DynArrayWalkByPosition)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DynArrayWalkByPosition_Raw)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConfigurationFile)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConfigurationFile_Raw)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

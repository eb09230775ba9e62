// The alert model under load, side by side with a bare nlohmann::ordered_json parse of the
// same bytes: the bulk load of a backend array of 10,000 and 100,000 alerts, the intake of
// 10,000 broker payloads (types 1, 2 and 5) into a list of 10,000 alerts, and the resident
// memory an alert takes. Logging stays on, into a folder of the run's own.
//
// Both sides of a comparison do the same work, timed the same way: each keeps what it built
// (the bare document as the list keeps its alerts) and frees it after the timing. A load is
// shown as the first one of a fresh process (this program run again with "first") and as the
// best of three with the sides taking turns.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <iterator>
#include <string>
#include <string_view>
#include <malloc.h>
#include <unistd.h>
#include <vector>

#include <fmt/format.h>

#include "BenchAlerts.h"
#include "BenchSupport.h"
#include "ZEL.Events.List.h"
#include "ZEL.LogsPipe.h"

using namespace ZEL;

namespace {

using TJSON = nlohmann::ordered_json;
using ZEL::Bench::TClock;

constexpr int cRepeats = 3;

using ZEL::Bench::Best;
using ZEL::Bench::Seconds;

long ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

using ZEL::Bench::ObjectId;
using ZEL::Bench::Stamp;

// Alerts from fifty conditions of no loaded edge.
TJSON Originator(long AN) {
  return ZEL::Bench::Originator(AN, fmt::format("cond-{}", AN % 50),
                                fmt::format("{{11111111-2222-3333-4444-{:012X}}}", AN % 50));
}


TJSON AlertElement(long AN) { return ZEL::Bench::AlertElement(AN, Originator(AN)); }

std::string AlertArrayText(long ACount, long AFirst = 0) {
  TJSON array = TJSON::array();
  for (long i = 0; i < ACount; ++i) array.push_back(AlertElement(AFirst + i));
  return array.dump();
}

// The caller's cost of the log lines one run of ARun makes: the lines are captured once,
// then the same lines are written again through the process writer, timed alone.
struct TLogFigures {
  std::size_t Lines = 0;
  std::size_t Bytes = 0;
  double Seconds = 0;
};

TLogFigures LogCostOf(const std::function<void()>& ASetup, const std::function<void()>& ARun) {
  ASetup();
  LogsPipe::Flush();
  std::vector<LogsPipe::TCapturedEntry> entries;
  {
    LogsPipe::TLogCapture capture;
    ARun();
    LogsPipe::Flush();
    entries = capture.Entries();
  }
  TLogFigures figures;
  figures.Lines = entries.size();
  for (const auto& entry : entries) figures.Bytes += entry.Message.size();
  figures.Seconds = Best([] { LogsPipe::Flush(); }, [&] {
    ILogWriter& log = LogsPipe::ZELLog();
    for (const auto& entry : entries) log.Log(entry.Type, entry.Tag, entry.Message);
  });
  LogsPipe::Flush();
  return figures;
}

void PrintLogShare(const TLogFigures& ALog, double AModel, long AUnits, const char* AUnit) {
  std::printf("    of which its log lines alone: %.1f ms (%.0f%%), %.1f lines and %.0f bytes of text per %s\n",
              ALog.Seconds * 1e3, 100 * ALog.Seconds / AModel, static_cast<double>(ALog.Lines) / AUnits,
              static_cast<double>(ALog.Bytes) / AUnits, AUnit);
}

// The bytes of every log file in the folder.
std::uintmax_t LogFolderBytes(const std::string& AFolder) {
  std::uintmax_t total = 0;
  for (const auto& entry : std::filesystem::directory_iterator(AFolder))
    if (entry.is_regular_file()) total += entry.file_size();
  return total;
}

// Whether some log file of the folder still holds AText (files are UTF-16 little-endian).
bool LogFolderHolds(const std::string& AFolder, std::string_view AText) {
  std::string needle;
  for (const char c : AText) {
    needle += c;
    needle += '\0';
  }
  for (const auto& entry : std::filesystem::directory_iterator(AFolder)) {
    std::ifstream file(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.find(needle) != std::string::npos) return true;
  }
  return false;
}

constexpr std::string_view cStartMarker = "[zel_bench_model] start of the run";

// One load of either side, as both sides are timed: the text is there already, what is
// built stays alive past the timing (the bare document as the list keeps its alerts) and
// is freed after it.
double TimeBareLoad(const std::string& AText, long ACount) {
  TJSON kept;
  const auto start = TClock::now();
  kept = TJSON::parse(AText);
  const double seconds = Seconds(start);
  if (kept.size() != static_cast<std::size_t>(ACount)) std::abort();
  return seconds;
}

// AAfterLoad runs once the load's lines are in the file, before the list goes.
double TimeModelLoad(const std::string& AText, long ACount, const std::function<void()>& AAfterLoad = {}) {
  auto list = std::make_unique<TZELEventList>();
  LogsPipe::Flush();
  const auto start = TClock::now();
  list->ReadFromJSONArray(TJSON::parse(AText), false);
  const double seconds = Seconds(start);
  if (list->Count() != ACount) std::abort();
  LogsPipe::Flush();
  if (AAfterLoad) AAfterLoad();
  list.reset();
  LogsPipe::Flush();
  return seconds;
}

// The first load of a fresh process, with a log folder of its own that holds one line
// before the load: this program again, with "first <count> <side>".
struct TFirstLoad {
  double Seconds = -1;
  double LogBytes = 0;    // the log folder's growth over the load
  int StartLineKept = 1;  // 0 when the line from before the load was rotated out
};

TFirstLoad FirstLoad(const char* AProgram, long ACount, const char* ASide) {
  const std::string command = fmt::format("'{}' first {} {}", AProgram, ACount, ASide);
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) std::abort();
  TFirstLoad f;
  if (std::fscanf(pipe, "%lf %lf %d", &f.Seconds, &f.LogBytes, &f.StartLineKept) != 3) f.Seconds = -1;
  if (pclose(pipe) != 0 || f.Seconds < 0) {
    std::fprintf(stderr, "first load (%s, %ld) failed\n", ASide, ACount);
    std::exit(1);
  }
  return f;
}

int FirstLoadChild(const std::string& AFolder, long ACount, const std::string& ASide) {
  const std::string text = AlertArrayText(ACount);
  TFirstLoad f;
  if (ASide == "bare") {
    f.Seconds = TimeBareLoad(text, ACount);
  } else {
    LogsPipe::Flush();
    const std::uintmax_t before = LogFolderBytes(AFolder);
    f.Seconds = TimeModelLoad(text, ACount, [&] {
      // Negative when the ring of files turned over: the growth is then unknown.
      f.LogBytes = static_cast<double>(LogFolderBytes(AFolder)) - static_cast<double>(before);
      f.StartLineKept = LogFolderHolds(AFolder, cStartMarker) ? 1 : 0;
    });
  }
  std::printf("%.9f %.0f %d\n", f.Seconds, f.LogBytes, f.StartLineKept);
  return 0;
}

struct TLoadFigures {
  TFirstLoad FirstBare, FirstModel;
  double BestBare, BestModel;
  TLogFigures Log;
};

TLoadFigures BulkLoad(const char* AProgram, long ACount) {
  TLoadFigures f{};
  f.FirstBare = FirstLoad(AProgram, ACount, "bare");
  f.FirstModel = FirstLoad(AProgram, ACount, "model");
  const std::string text = AlertArrayText(ACount);
  f.BestBare = f.BestModel = 1e100;
  // The sides take turns, so that both meet the same load on the machine.
  for (int i = 0; i < cRepeats; ++i) {
    f.BestBare = std::min(f.BestBare, TimeBareLoad(text, ACount));
    f.BestModel = std::min(f.BestModel, TimeModelLoad(text, ACount));
  }
  std::unique_ptr<TZELEventList> list;
  f.Log = LogCostOf([&] { list = std::make_unique<TZELEventList>(); },
                    [&] { list->ReadFromJSONArray(TJSON::parse(text), false); });
  list.reset();
  LogsPipe::Flush();
  return f;
}

// Payloads of the three broker types: a third new alerts (type 1), a third history
// entries with two attachments for alerts held already (type 2), a third upload states
// for the attachments of those entries (type 5), interleaved as the broker delivers them.
std::vector<std::string> BrokerPayloads(long AHeld, long ACount) {
  std::vector<std::string> payloads;
  const long perType = ACount / 3;
  for (long i = 0; i < perType; ++i) {
    TJSON alert = AlertElement(AHeld + i);
    alert["Type"] = 1;
    alert.erase("ExtraData");
    payloads.push_back(alert.dump());

    const long parent = (i * 7919) % AHeld;  // spread over the list
    const long itemNo = 1'000'000 + i;
    payloads.push_back(ZEL::Bench::HistoryEntryPayload(parent, itemNo, Originator(parent)));
    payloads.push_back(ZEL::Bench::UploadPayload(parent, itemNo));
  }
  return payloads;
}

void Intake(TZELEventList& AList, const std::vector<std::string>& APayloads) {
  // BrokerPayloads gives them in the order type 1, 2, 5, 1, 2, 5, ...
  for (std::size_t i = 0; i < APayloads.size(); ++i) {
    const std::string& payload = APayloads[i];
    switch (i % 3) {
      case 0: AList.ReadOneEventFromJSON(payload); break;
      case 1:
        if (!AList.ReadEventItemMQTT(payload)) std::abort();
        break;
      default: {
        TZELEventItem* item = nullptr;
        TEventExtraDataItem* extra = nullptr;
        if (!AList.ReadEventItemExtraMQTT(payload, item, extra) || !extra) std::abort();
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  // "first <count> <bare|model>": one load in this fresh process, its seconds on stdout.
  const bool child = argc == 4 && std::string(argv[1]) == "first";
  // Otherwise an argument picks one part ("memory", "load", "intake"), for profiling.
  const std::string only = argc > 1 && !child ? argv[1] : "";
  const auto want = [&](const char* APart) { return only.empty() || only == APart; };
  std::string folder = (std::filesystem::temp_directory_path() / "zel_bench_model.XXXXXX").string();
  if (!mkdtemp(folder.data())) return 2;
  setenv("ZEL_LOGS_DIR", folder.c_str(), 1);
  // What a user's log holds before a load (start-up, sign-in): is it still there after?
  LogsPipe::ZELLog().Info("zel_bench_model", "start of the run");
  if (child) {
    const int rc = FirstLoadChild(folder, std::atol(argv[2]), argv[3]);
    LogsPipe::Shutdown();
    std::filesystem::remove_all(folder);
    return rc;
  }

  std::printf("alert model (logging on, into a folder of the run's own)\n");
  if (want("memory")) {
    // Per alert (measured first, on a heap that has not grown yet): what the loaded list holds beyond the text, against the parsed array alone.
    constexpr long cCount = 100'000;
    const std::string text = AlertArrayText(cCount);
    malloc_trim(0);
    const long start = ResidentBytes();
    TJSON array = TJSON::parse(text);
    const long parsed = ResidentBytes();
    auto list = std::make_unique<TZELEventList>();
    list->ReadFromJSONArray(std::move(array), false);
    array = TJSON();
    LogsPipe::Flush();
    malloc_trim(0);
    const long loaded = ResidentBytes();
    std::printf("resident memory per alert (%ld alerts): %.0f bytes in the list (target <= 3000); the parsed "
                "array alone %.0f bytes; the process %.0f MB\n",
                cCount, static_cast<double>(loaded - start) / cCount, static_cast<double>(parsed - start) / cCount,
                static_cast<double>(loaded) / 1e6);
    list.reset();
  }

  for (const long count : {10'000L, 100'000L}) {
    if (!want("load")) break;
    const auto f = BulkLoad(argv[0], count);
    std::printf("bulk load %6ld alerts, both sides keep what they built (freed untimed):\n", count);
    std::printf("    first load in a fresh process: model %8.1f ms, bare parse %8.1f ms, ratio %.2f (target <= 1.5)\n",
                f.FirstModel.Seconds * 1e3, f.FirstBare.Seconds * 1e3, f.FirstModel.Seconds / f.FirstBare.Seconds);
    std::printf("    best of %d, sides taking turns:  model %8.1f ms, bare parse %8.1f ms, ratio %.2f (target <= 1.5)\n",
                cRepeats, f.BestModel * 1e3, f.BestBare * 1e3, f.BestModel / f.BestBare);
    if (f.FirstModel.LogBytes >= 0 && f.FirstModel.StartLineKept)
      std::printf("    log file bytes per loaded alert: %.0f (target <= 500), %.1f MB for the load", f.FirstModel.LogBytes / count,
                  f.FirstModel.LogBytes / 1e6);
    else
      std::printf("    log file bytes per loaded alert: unknown, the load turned the whole ring of log files over (target <= 500)");
    std::printf("; the line from before the load %s\n",
                f.FirstModel.StartLineKept ? "is still in the log" : "was rotated out (earlier history lost)");
    PrintLogShare(f.Log, f.BestModel, count, "alert");
  }

  if (want("intake")) {
    constexpr long cHeld = 10'000, cPayloads = 10'000;
    const std::string held = AlertArrayText(cHeld);
    const auto payloads = BrokerPayloads(cHeld, cPayloads);
    std::unique_ptr<TZELEventList> list;
    const auto setup = [&] {
      list.reset();
      list = std::make_unique<TZELEventList>();
      list->ReadFromJSONArray(TJSON::parse(held), false);
      LogsPipe::Flush();
    };
    // The bare side keeps its documents as the list keeps its alerts and items; both sides
    // free what they built untimed, and they take turns.
    double parse = 1e100, model = 1e100;
    for (int i = 0; i < cRepeats; ++i) {
      std::vector<TJSON> kept;
      kept.reserve(payloads.size());
      auto start = TClock::now();
      for (const std::string& payload : payloads) kept.push_back(TJSON::parse(payload));
      parse = std::min(parse, Seconds(start));
      kept.clear();
      setup();
      start = TClock::now();
      Intake(*list, payloads);
      model = std::min(model, Seconds(start));
      LogsPipe::Flush();
    }
    const TLogFigures log = LogCostOf(setup, [&] { Intake(*list, payloads); });
    list.reset();
    LogsPipe::Flush();
    const double n = static_cast<double>(payloads.size());
    std::printf("broker intake in the model alone, %zu payloads (types 1, 2, 5) into %ld alerts, best of %d: "
                "%.0f payloads/s, bare parse %.0f/s; intake %.2f of the bare parse's rate (cost ratio %.2f; the target, "
                ">= 0.7, is end to end through the MQTT service and the view)\n",
                payloads.size(), cHeld, cRepeats, n / model, n / parse, parse / model, model / parse);
    PrintLogShare(log, model, static_cast<long>(payloads.size()), "payload");
  }

  LogsPipe::Shutdown();
  std::filesystem::remove_all(folder);
  return 0;
}

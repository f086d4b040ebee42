// The main of every benchmark program: the main window's code needs an application, offscreen.
// A benchmark labelled "floor: <name>" gets its CPU time's ratio to that benchmark's printed last.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <map>
#include <string>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // Of repetitions, the median.
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      const std::string name = run.run_name.str();
      if (median || !cpu_.count(name)) cpu_[name] = run.GetAdjustedCPUTime();
      if (run.report_label.rfind("floor: ", 0) == 0) floors_[name] = run.report_label.substr(7);
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const auto& [name, floor] : floors_) {
      if (cpu_.count(floor) && cpu_[floor] > 0) {
        std::printf("%s / %s (CPU): %.2f\n", name.c_str(), floor.c_str(), cpu_[name] / cpu_[floor]);
      }
    }
  }

 private:
  std::map<std::string, double> cpu_;
  std::map<std::string, std::string> floors_;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

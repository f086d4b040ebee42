#pragma once

#include <QString>
#include <functional>
#include <source_location>
#include <stdexcept>
#include <string_view>

// Run-time failures carry a number and a description that the failure box shows. The numbers
// are the ones earlier builds showed for the same failure, so that a user's report still means
// the same; they are kept as they are.
namespace qm {

namespace Err {
constexpr int Overflow = 6;
constexpr int TypeMismatch = 13;
constexpr int BadFileName = 52;
constexpr int FileNotFound = 53;
constexpr int DiskFull = 61;
constexpr int PermissionDenied = 70;
constexpr int PathFileAccess = 75;
constexpr int PathNotFound = 76;
constexpr int InvalidPropertyValue = 380;
}  // namespace Err

class Failure : public std::runtime_error {
 public:
  explicit Failure(int number);
  int number() const { return number_; }

 private:
  int number_;
};

// The description the box shows for a failure number ("Overflow", "Type mismatch", ...).
const char* failureDescription(int number);

// The failure number nearest to an errno value: ENOSPC is "Disk full", EACCES "Permission
// denied", and what has no nearer number "Path/File access error".
int failureFromErrno(int err);

// The failure box's text, with CR LF line breaks.
QString failureText(int number, unsigned line, std::string_view procedure);

// A procedure's failure handler. Each fallible statement runs through run(); when it throws a
// Failure, the box names the procedure and the statement's line, and the answer decides:
// Retry runs the statement again, Ignore goes on after it (run() returns true), Abort leaves
// the procedure (run() returns false).
class FailureHandler {
 public:
  explicit FailureHandler(std::string_view procedure) : procedure_(procedure) {}

  bool run(const std::function<void()>& statement,
           std::source_location where = std::source_location::current()) const;

 private:
  std::string_view procedure_;
};

}  // namespace qm

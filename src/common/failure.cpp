#include "common/failure.h"

#include <cerrno>

#include "common/msgbox.h"

namespace qm {

Failure::Failure(int number) : std::runtime_error(failureDescription(number)), number_(number) {}

const char* failureDescription(int number) {
  switch (number) {
    case Err::Overflow:
      return "Overflow";
    case Err::TypeMismatch:
      return "Type mismatch";
    case Err::BadFileName:
      return "Bad file name or number";
    case Err::FileNotFound:
      return "File not found";
    case Err::DiskFull:
      return "Disk full";
    case Err::PermissionDenied:
      return "Permission denied";
    case Err::PathFileAccess:
      return "Path/File access error";
    case Err::PathNotFound:
      return "Path not found";
    case Err::InvalidPropertyValue:
      return "Invalid property value";
    default:
      return "Application-defined or object-defined error";
  }
}

int failureFromErrno(int err) {
  switch (err) {
    case ENOENT:
      return Err::FileNotFound;
    case ENOTDIR:
      return Err::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return Err::PermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return Err::DiskFull;
    case EBADF:
    case ENAMETOOLONG:
      return Err::BadFileName;
    default:
      return Err::PathFileAccess;
  }
}

QString failureText(int number, unsigned line, std::string_view procedure) {
  return QStringLiteral("Error %1: \r\n%2\r\n\t\toccurred at line %3\r\nin Quillmate: %4")
      .arg(number)
      .arg(QString::fromLatin1(failureDescription(number)))
      .arg(line)
      .arg(QString::fromUtf8(procedure.data(), static_cast<qsizetype>(procedure.size())));
}

bool FailureHandler::run(const std::function<void()>& statement, std::source_location where) const {
  for (;;) {
    try {
      statement();
      return true;
    } catch (const Failure& failure) {
      const QString text = failureText(failure.number(), where.line(), procedure_);
      switch (MsgBox(MsgKind::Failure, text, QStringLiteral("Quillmate Error"))) {
        case vbRetry:
          continue;
        case vbIgnore:
          return true;
        default:
          return false;
      }
    }
  }
}

}  // namespace qm

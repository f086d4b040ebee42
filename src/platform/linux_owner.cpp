#include "platform/linux_owner.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace qm::platform {
namespace {

std::optional<Owner> applicationDirOwner() {
  struct stat st {};
  if (::stat(pathBytes(applicationDir()).constData(), &st) != 0) return std::nullopt;
  return Owner{st.st_uid, st.st_gid};
}

}  // namespace

std::optional<Owner> actingFor() {
  if (::geteuid() != 0) return std::nullopt;
  const auto owner = applicationDirOwner();
  return owner && owner->uid != 0 ? owner : std::nullopt;
}

bool trusted(uid_t owner) {
  if (owner == ::geteuid() || owner == 0) return true;
  const auto installation = applicationDirOwner();
  return installation && installation->uid == owner;
}

void handOver(int fd) {
  if (const auto user = actingFor()) {
    [[maybe_unused]] const int given = ::fchown(fd, user->uid, user->gid);
  }
}

}  // namespace qm::platform

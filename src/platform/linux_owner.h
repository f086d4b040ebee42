#pragma once

#include <sys/types.h>

#include <optional>

// Whose the program's files are. Root, started on an installation of another user's (sudo from
// that user's session), acts for that user: it hands what it makes to them and replaces none of
// the files that they could not, so that their own later starts find everything usable.
namespace qm::platform {

struct Owner {
  uid_t uid;
  gid_t gid;
};

// The user root acts for: the application directory's owner, when root runs an installation
// that is not root's. Nobody otherwise.
std::optional<Owner> actingFor();

// True for the owners whose files count as the program's own: the user, root, and the owner of
// the application directory.
bool trusted(uid_t owner);

// Hands a file or folder just made, open at fd, to the user root acts for.
void handOver(int fd);

}  // namespace qm::platform

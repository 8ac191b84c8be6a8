// Leftovers on POSIX: a process's start time from /proc, and the interrupt handled by a thread
// of its own. A signal handler could only call the few async-signal-safe functions and would
// interrupt the program in the middle of any call, its own bookkeeping included; a thread
// that waits for the blocked signals with sigwait is an ordinary thread, which may take the
// lock on the held leftovers and remove folders as the rest of the program does.
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "base/owned.h"
#include "platform/leftovers.h"
#include "platform/posix_handles.h"
#include "platform/shell_utils.h"

namespace marivane::platform {
namespace {

// What a start time is when the process is not there to have one.
constexpr unsigned long long kNoSuchProcess = ~0ull;

// Field 22 of /proc/ID/stat: when the process started, in clock ticks after the boot; 0 when
// it cannot be read, kNoSuchProcess when there is no such process. The command name (field 2,
// in parentheses) may hold spaces and parentheses of its own, so fields are counted from the
// last ')', after which field 3 comes.
unsigned long long StartTimeOf(unsigned long long id) {
  const std::string path = "/proc/" + std::to_string(id) + "/stat";
  const TOwned<int, &::close, TNoneIs<int, -1>> fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return errno == ENOENT || errno == ESRCH ? kNoSuchProcess : 0;
  char text[1024];
  const ssize_t got = ::read(fd.Get(), text, sizeof text - 1);
  if (got <= 0) return got == 0 || errno == ESRCH ? kNoSuchProcess : 0;
  text[got] = '\0';
  const char* at = std::strrchr(text, ')');
  for (int field = 2; at != nullptr && field < 22; ++field) at = std::strchr(at + 1, ' ');
  return at != nullptr ? std::strtoull(at + 1, nullptr, 10) : 0;
}

}  // namespace

TProcessStamp CurrentProcessStamp() {
  static const TProcessStamp self = [] {
    const auto id = static_cast<unsigned long long>(::getpid());
    const unsigned long long start = StartTimeOf(id);
    return TProcessStamp{id, start == kNoSuchProcess ? 0 : start};
  }();
  return self;
}

// A process of another pid namespace is not seen here: leftovers in a temporary folder that
// two namespaces share are told apart by the user they belong to only.
bool ProcessHasEnded(const TProcessStamp& stamp) {
  const unsigned long long start = StartTimeOf(stamp.id);
  return start == kNoSuchProcess || (start != 0 && start != stamp.start);
}

std::vector<std::string> FolderEntryNames(const std::string& folder) {
  std::vector<std::string> names;
  const TFolderListing listing(::opendir(folder.empty() ? "." : folder.c_str()));
  if (!listing) return names;
  while (const dirent* entry = ::readdir(listing.Get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  return names;
}

bool IsOwnLeftover(const std::string& path, TLeftoverKind kind) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || info.st_uid != ::geteuid()) return false;
  return kind == TLeftoverKind::Folder ? S_ISDIR(info.st_mode) : S_ISREG(info.st_mode);
}

void RemoveLeftover(const std::string& path, TLeftoverKind kind) {
  if (kind == TLeftoverKind::File) {
    ::unlink(path.c_str());
    return;
  }
  // The run an interrupt ends may still be writing into its folder: whatever it put there
  // after the listing makes one round fail, and the next takes it along. Once the folder is
  // gone nothing more can go into it.
  for (int round = 0; round < 20 && !RemoveFolderTree(path); ++round) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) break;
  }
}

void RemoveLeftoversOnInterrupt() {
  static sigset_t interrupts;
  sigemptyset(&interrupts);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal the program was started with ignored (SIGHUP under nohup, SIGINT for a
    // background job) stays ignored: blocked, it would reach sigwait all the same.
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
      sigaddset(&interrupts, signal);
  }
  // Blocked here, before any other thread exists, so that every thread inherits the mask and
  // the one below is the only one the signals reach.
  if (::pthread_sigmask(SIG_BLOCK, &interrupts, nullptr) != 0) return;
  std::thread([] {
    int caught = 0;
    while (::sigwait(&interrupts, &caught) != 0) {
    }
    RemoveHeldLeftoversForGood();
    // Ended by the signal itself, as if it had never been caught: the shell that started us
    // sees 128 + its number, and a parent that waits sees which signal it was.
    ::signal(caught, SIG_DFL);
    sigset_t only{};
    sigemptyset(&only);
    sigaddset(&only, caught);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(caught);
    std::_Exit(128 + caught);
  }).detach();
}

}  // namespace marivane::platform

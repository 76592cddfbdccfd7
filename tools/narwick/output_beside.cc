#include "output_beside.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include "command.h"
#include "frame/file_writing.h"

namespace narwick::cli {

namespace {

// The files in the making, for the signal handler, which may neither allocate nor lock: fixed
// slots, each published by its flag after its path is in place.
struct PendingFile {
  char path[PATH_MAX];
  volatile std::sig_atomic_t live;
};
constexpr int kSlots = 4;
PendingFile g_pending[kSlots];

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[std::size(kSignals)];
int g_listed = 0;
std::mutex g_mutex;  // guards the slots' claiming and the handlers' installing, not the handler

extern "C" void RemovePendingAndDie(int signal_number) {
  for (auto& file : g_pending) {
    if (file.live) ::unlink(file.path);
  }
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

void InstallHandlers() {
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    sigaction(kSignals[i], nullptr, &g_previous[i]);
    // An ignored signal stays ignored (a job started in the background ignores Ctrl-C).
    if (g_previous[i].sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = RemovePendingAndDie;
    sigemptyset(&action.sa_mask);
    sigaction(kSignals[i], &action, nullptr);
  }
}

void RestoreHandlers() {
  for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
}

// Lists `path` for removal on a signal; -1 when every slot is taken or the path is too long,
// which only costs the clean-up on a signal.
int List(const std::string& path) {
  std::lock_guard lock(g_mutex);
  if (path.size() >= PATH_MAX) return -1;
  for (int slot = 0; slot < kSlots; ++slot) {
    if (g_pending[slot].live) continue;
    std::memcpy(g_pending[slot].path, path.c_str(), path.size() + 1);
    if (g_listed++ == 0) InstallHandlers();
    g_pending[slot].live = 1;
    return slot;
  }
  return -1;
}

void Unlist(int slot) {
  if (slot < 0) return;
  std::lock_guard lock(g_mutex);
  g_pending[slot].live = 0;
  if (--g_listed == 0) RestoreHandlers();
}

[[noreturn]] void FailToWrite(const std::filesystem::path& target, int error) {
  throw Failure("cannot write " + target.string() + ": " + std::strerror(error));
}

// Copies the file at `from` into the special file `to`.
void CopyInto(const std::filesystem::path& from, const std::filesystem::path& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) FailToWrite(to, errno);
  const int out = ::open(to.c_str(), O_WRONLY | O_CLOEXEC);
  if (out < 0) {
    const int error = errno;
    ::close(in);
    FailToWrite(to, error);
  }
  static constexpr std::size_t kChunk = 1 << 20;
  const auto buffer = std::make_unique_for_overwrite<char[]>(kChunk);
  int error = 0;
  for (;;) {
    const ssize_t got = ::read(in, buffer.get(), kChunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got < 0) error = errno;
      break;
    }
    error = frame::WriteAll(out, buffer.get(), static_cast<std::size_t>(got));
    if (error != 0) break;
  }
  ::close(in);
  if (::close(out) != 0 && error == 0) error = errno;
  if (error != 0) FailToWrite(to, error);
}

}  // namespace

OutputBeside::OutputBeside(const std::filesystem::path& target, Create create)
    : target_(target), into_special_(frame::IsSpecialFile(target.c_str())) {
  if (!into_special_) {
    const std::optional<std::filesystem::path> file = frame::ThroughLinks(target);
    if (!file) FailToWrite(target, ELOOP);
    target_ = *file;
    std::error_code ec;
    if (std::filesystem::is_directory(target_, ec)) throw Failure("'" + target.string() + "' is a folder");
  }
  const std::filesystem::path folder = into_special_           ? std::filesystem::temp_directory_path()
                                       : target_.has_parent_path() ? target_.parent_path()
                                                                   : ".";
  std::string leaf = ".narwick-";
  leaf += create == Create::kNow ? "XXXXXX" : std::to_string(::getpid()) + ".tmp";
  // The target's name goes in front when it leaves the name short enough for the folder.
  const std::string named = "." + target_.filename().string() + leaf;
  if (named.size() <= NAME_MAX) leaf = named;
  std::string name = (folder / leaf).string();
  // No signal may come between the file's making and its listing.
  sigset_t signals;
  sigset_t before;
  sigemptyset(&signals);
  for (int signal_number : kSignals) sigaddset(&signals, signal_number);
  pthread_sigmask(SIG_BLOCK, &signals, &before);
  const int fd = create == Create::kNow ? ::mkstemp(name.data()) : -1;
  const int error = errno;
  if (fd >= 0 || create == Create::kByWriter) slot_ = List(name);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  if (create == Create::kNow) {
    if (fd < 0) FailToWrite(target, error);
    ::close(fd);
  }
  path_ = name;
}

OutputBeside::~OutputBeside() {
  if (path_.empty()) return;
  ::unlink(path_.c_str());
  Unlist(slot_);
}

void OutputBeside::Commit() {
  if (into_special_) {
    CopyInto(path_, target_);
    ::unlink(path_.c_str());
  } else {
    ::chmod(path_.c_str(), frame::ReplacementMode(target_.c_str()));
    if (::rename(path_.c_str(), target_.c_str()) != 0) FailToWrite(target_, errno);
  }
  path_.clear();
  Unlist(slot_);
}

void WriteFileBeside(const std::string& target, std::string_view bytes) {
  OutputBeside output(target);
  const int fd = ::open(output.path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) FailToWrite(target, errno);
  int error = frame::WriteAll(fd, bytes.data(), bytes.size());
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) FailToWrite(target, error);
  output.Commit();
}

}  // namespace narwick::cli

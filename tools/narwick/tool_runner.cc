#include "tool_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

extern char** environ;

namespace narwick::testing {

namespace {

// Starts the tool with `args`, `env` added to this process's environment; returns its id.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const posix_spawn_file_actions_t& actions) {
  std::vector<std::string> argv_storage{NARWICK_TOOL_PATH};
  argv_storage.insert(argv_storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_storage) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> env_storage;
  for (char** e = environ; *e != nullptr; ++e) env_storage.emplace_back(*e);
  env_storage.insert(env_storage.end(), env.begin(), env.end());
  std::vector<char*> envp;
  for (auto& e : env_storage) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = 0;
  if (posix_spawn(&pid, NARWICK_TOOL_PATH, &actions, nullptr, argv.data(), envp.data()) != 0) {
    throw std::runtime_error("cannot start " NARWICK_TOOL_PATH);
  }
  return pid;
}

}  // namespace

pid_t StartTool(const std::vector<std::string>& args) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd : {0, 1, 2}) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
  const pid_t pid = Spawn(args, {}, actions);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

ToolResult RunTool(const std::vector<std::string>& args, const std::string& input,
                   const std::vector<std::string>& env, const std::string& cwd) {
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) {
    posix_spawn_file_actions_addclose(&actions, fd);
  }
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = 0;
  try {
    pid = Spawn(args, env, actions);
  } catch (...) {
    posix_spawn_file_actions_destroy(&actions);
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) close(fd);
    throw;
  }
  posix_spawn_file_actions_destroy(&actions);
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);

  // Feed standard input and drain both outputs together, so no pipe fills up and blocks.
  ToolResult result;
  std::size_t written = 0;
  if (input.empty()) close(in_pipe[1]);
  bool in_open = !input.empty(), out_open = true, err_open = true;
  fcntl(in_pipe[1], F_SETFL, O_NONBLOCK);
  while (out_open || err_open) {
    pollfd fds[3] = {{out_pipe[0], static_cast<short>(out_open ? POLLIN : 0), 0},
                     {err_pipe[0], static_cast<short>(err_open ? POLLIN : 0), 0},
                     {in_open ? in_pipe[1] : -1, POLLOUT, 0}};
    poll(fds, 3, 1000);
    char buffer[65536];
    for (int i = 0; i < 2; ++i) {
      if ((fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) {
        (i == 0 ? out_open : err_open) = false;
      } else {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
      }
    }
    if (in_open && (fds[2].revents & (POLLOUT | POLLERR)) != 0) {
      ssize_t n = write(in_pipe[1], input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n < 0 || written == input.size()) {
        close(in_pipe[1]);
        in_open = false;
      }
    }
  }
  if (in_open) close(in_pipe[1]);
  close(out_pipe[0]);
  close(err_pipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace narwick::testing

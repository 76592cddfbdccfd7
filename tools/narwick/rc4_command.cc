// narwick rc4 encrypt|decrypt IN OUT: RC4 over a file with clsEncryption.
//
// The key never comes from the command line, where other users could read it in the process
// list: it is read from --key-file, from the environment variable --key-env names, or from a
// prompt without echo when standard input is a terminal. Key text is UTF-8 (bytes that are
// not UTF-8 are taken as Windows-1252), and the class turns it into its code-page bytes.
//
// The result is written to a temporary file beside OUT and renamed over OUT only when
// complete, so a failure never leaves a partial OUT. The input is kept unless
// --delete-source is given with encrypt; it is deleted only after OUT is in place.
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "command.h"
#include "narwick/frame/codepage.h"
#include "narwick/frame/variant.h"
#include "narwick/system/encryption.h"
#include "output_beside.h"

namespace narwick::cli::rc4_command {
namespace {

namespace fs = std::filesystem;

struct Options {
  std::string input;
  std::string output;
  std::string key_file;
  std::string key_env;
  bool delete_source = false;
};

bool IsUtf8(const std::string& bytes) {
  std::size_t k = 0;
  while (k < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[k]);
    std::size_t extra;
    if (lead < 0x80) {
      extra = 0;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
    } else {
      return false;
    }
    if (bytes.size() - k <= extra) return false;
    for (std::size_t c = 1; c <= extra; ++c) {
      if ((static_cast<unsigned char>(bytes[k + c]) & 0xC0) != 0x80) return false;
    }
    k += extra + 1;
  }
  return true;
}

String KeyText(const std::string& bytes) {
  if (IsUtf8(bytes)) return FromUtf8(bytes);
  return FromAnsi(std::span(reinterpret_cast<const Byte*>(bytes.data()), bytes.size()));
}

// One line ending is not part of a key typed into a file with an editor or echo.
std::string WithoutLineEnd(std::string text) {
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return text;
}

// The terminal settings to put back if the prompt is interrupted, so that Ctrl-C does not
// leave the terminal without echo.
termios g_saved_terminal{};

extern "C" void RestoreTerminalAndDie(int signal_number) {
  tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_terminal);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

std::string PromptForKey() {
  std::fputs("Key: ", stderr);
  std::fflush(stderr);
  const bool terminal = tcgetattr(STDIN_FILENO, &g_saved_terminal) == 0;
  using Handler = void (*)(int);
  Handler old_int = SIG_DFL, old_term = SIG_DFL, old_hup = SIG_DFL;
  if (terminal) {
    old_int = std::signal(SIGINT, RestoreTerminalAndDie);
    old_term = std::signal(SIGTERM, RestoreTerminalAndDie);
    old_hup = std::signal(SIGHUP, RestoreTerminalAndDie);
    termios quiet = g_saved_terminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    // TCSANOW, not TCSAFLUSH: a key typed ahead of the prompt is kept.
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  std::string line;
  int c;
  while ((c = std::fgetc(stdin)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
  if (terminal) {
    tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_terminal);
    std::signal(SIGINT, old_int);
    std::signal(SIGTERM, old_term);
    std::signal(SIGHUP, old_hup);
  }
  std::fputc('\n', stderr);
  return WithoutLineEnd(line);
}

String ReadKey(const Options& options) {
  std::string bytes;
  if (!options.key_file.empty()) {
    std::error_code ec;
    if (fs::is_directory(options.key_file, ec)) throw Failure("the key file " + options.key_file + " is a folder");
    std::ifstream in(options.key_file, std::ios::binary);
    if (!in) throw Failure("cannot read the key file " + options.key_file);
    bytes = WithoutLineEnd(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
  } else if (!options.key_env.empty()) {
    const char* value = std::getenv(options.key_env.c_str());
    if (value == nullptr) throw CLI::ValidationError("--key-env", "the environment variable " + options.key_env + " is not set");
    bytes = value;
  } else if (isatty(STDIN_FILENO)) {
    bytes = PromptForKey();
  } else {
    throw CLI::ValidationError("key", "no key: give --key-file FILE or --key-env NAME (the key is prompted for only on a terminal)");
  }
  if (bytes.empty()) throw CLI::ValidationError("key", "the key is empty");
  return KeyText(bytes);
}

void Run(const Options& options, bool encrypt, int& exit_code) {
  // Checked before anything else: the class would create a missing input.
  struct stat input_status {};
  if (stat(options.input.c_str(), &input_status) != 0) {
    throw Failure(options.input + ": " + std::strerror(errno));
  }
  if (!S_ISREG(input_status.st_mode)) throw Failure(options.input + ": not a regular file");
  const String key = ReadKey(options);

  clsEncryption enc;
  enc.encryptKey(key);
  OutputBeside result(options.output);
  const String result_name = FromUtf8(result.path().string());
  bool failed;
  if (access(options.input.c_str(), W_OK) == 0) {
    // DecryptFile: the same cipher as encryptFile without deleting the input, which happens
    // below only when asked for and only once the output is in place.
    failed = static_cast<bool>(enc.DecryptFile(FromUtf8(options.input), result_name));
  } else {
    // The class opens its source for reading and writing; a read-only input is copied first
    // and enciphered in place.
    std::error_code ec;
    fs::copy_file(options.input, result.path(), fs::copy_options::overwrite_existing, ec);
    if (ec) throw Failure("cannot read " + options.input + ": " + ec.message());
    failed = static_cast<bool>(enc.DecryptFile(result_name, result_name));
  }
  if (failed) {
    throw Failure(std::string(encrypt ? "encrypting " : "decrypting ") + options.input + " into " +
                  options.output + " failed");
  }

  struct stat output_status {};
  const bool output_existed = stat(options.output.c_str(), &output_status) == 0;
  result.Commit();

  if (options.delete_source) {
    const bool same_file = output_existed && output_status.st_dev == input_status.st_dev &&
                           output_status.st_ino == input_status.st_ino;
    if (!same_file && unlink(options.input.c_str()) != 0) {
      throw Failure("the output is written, but " + options.input + " could not be deleted: " +
                    std::strerror(errno));
    }
  }
  exit_code = kExitSuccess;
}

void AddCommon(CLI::App* cmd, Options& options) {
  cmd->add_option("IN", options.input, "the file to read")->required();
  cmd->add_option("OUT", options.output, "the file to write (replaced only when complete)")->required();
  auto* key_file = cmd->add_option("--key-file", options.key_file, "read the key from FILE (one line end is dropped)")
                       ->type_name("FILE");
  auto* key_env = cmd->add_option("--key-env", options.key_env, "read the key from the environment variable NAME")
                      ->type_name("NAME");
  key_file->excludes(key_env);
}

void Setup(CLI::App& app, int& exit_code) {
  auto* rc4 = app.add_subcommand("rc4", "RC4 over a file (the cipher of clsEncryption; not secure today)");
  rc4->footer("The key is never an argument: give --key-file or --key-env, or type it at the prompt\n"
              "(without echo) when standard input is a terminal.");
  rc4->require_subcommand(1);
  static Options encrypt_options;
  static Options decrypt_options;
  auto* encrypt = rc4->add_subcommand("encrypt", "encipher IN into OUT");
  AddCommon(encrypt, encrypt_options);
  encrypt->add_flag("--delete-source", encrypt_options.delete_source,
                    "delete IN once OUT is written, as clsEncryption.encryptFile does");
  encrypt->callback([&exit_code] { Run(encrypt_options, true, exit_code); });
  auto* decrypt = rc4->add_subcommand("decrypt", "decipher IN into OUT (the same operation)");
  AddCommon(decrypt, decrypt_options);
  decrypt->callback([&exit_code] { Run(decrypt_options, false, exit_code); });
}

}  // namespace
}  // namespace narwick::cli::rc4_command

NARWICK_COMMAND(rc4, narwick::cli::rc4_command::Setup);

// narwick case: formats names and addresses with clsManageTypeCase, from its arguments or,
// when there are none, from each line of standard input (for pipelines over address files).
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "command.h"
#include "narwick/frame/variant.h"
#include "narwick/text/manage_type_case.h"

namespace narwick::cli::case_command {
namespace {

struct CaseOptions {
  bool upper = false;
  bool lower = false;
  bool no_misc = false;
  bool no_address = false;
  bool no_canada = false;
  bool no_us = false;
  std::vector<std::string> texts;
};

void Setup(CLI::App& app, int& exit_code) {
  auto options = std::make_shared<CaseOptions>();
  auto* cmd = app.add_subcommand(
      "case",
      "Put names and addresses into normal (default), upper or lower case, keeping known\n"
      "abbreviations in capitals. Each TEXT is formatted on its own line; without TEXT,\n"
      "each line of standard input is. Normal case ends each result with one blank.");
  auto* upper = cmd->add_flag("--upper", options->upper, "upper case (no abbreviation list applies)");
  auto* lower = cmd->add_flag("--lower", options->lower, "lower case, then restore abbreviations");
  upper->excludes(lower);
  cmd->add_flag("--no-misc", options->no_misc,
                "do not restore designations and degrees (CPA, B.Sc., ...); the address list "
                "(RR, PO, NW, ...) is used in their place unless --no-address");
  cmd->add_flag("--no-address", options->no_address, "do not restore the address list");
  cmd->add_flag("--no-canada", options->no_canada, "do not restore Canadian province codes");
  cmd->add_flag("--no-us", options->no_us, "do not restore United States state codes");
  cmd->add_option("TEXT", options->texts, "texts to format (quote a text that holds blanks)");

  cmd->callback([options, &exit_code] {
    clsManageTypeCase formatter;
    formatter.CaseFormating(options->upper   ? enumCaseFormating::enumUpperCase
                            : options->lower ? enumCaseFormating::enumLowerCase
                                             : enumCaseFormating::enumNormalCase);
    formatter.KeepStandardMiscAbreviationsCAPS(!options->no_misc);
    formatter.KeepStandardAddressAbreviationsCAPS(!options->no_address);
    formatter.KeepCanadianProvincesAbreviationsCAPS(!options->no_canada);
    formatter.KeepUSStatesAbreviationsCAPS(!options->no_us);

    std::string out;
    auto format = [&](const std::string& text) {
      out += ToUtf8(formatter.modifyCase(FromUtf8(text)));
      out += '\n';
    };
    if (!options->texts.empty()) {
      for (const std::string& text : options->texts) format(text);
      std::fwrite(out.data(), 1, out.size(), stdout);
    } else {
      std::ios::sync_with_stdio(false);
      std::string line;
      while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // CRLF files
        format(line);
        if (out.size() >= (1u << 16)) {
          std::fwrite(out.data(), 1, out.size(), stdout);
          out.clear();
        }
      }
      if (std::cin.bad()) throw Failure("cannot read standard input");
      std::fwrite(out.data(), 1, out.size(), stdout);
    }
    if (std::fflush(stdout) != 0) throw Failure("cannot write standard output");
    exit_code = kExitSuccess;
  });
}

}  // namespace
}  // namespace narwick::cli::case_command

NARWICK_COMMAND(case, narwick::cli::case_command::Setup);

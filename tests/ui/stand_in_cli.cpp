// A stand-in for marivane-cli.exe's install and restore, for the window's tests. It waits the
// milliseconds MARIVANE_STAND_IN_WAIT gives, then answers as MARIVANE_STAND_IN_ANSWER says
// ("STATUS:RESULT"; a run with --force takes MARIVANE_STAND_IN_FORCED instead where it is
// set): it writes RESULT, "\n" and "\r" standing for line feed and carriage return, to the path
// after --result ("-" writes nothing), appends its arguments, one run a line, each argument
// ended by a tab, to the file MARIVANE_STAND_IN_LOG names, and exits with STATUS.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <windows.h>

int main(int argc, char** argv) {
  const char* result = nullptr;
  bool forced = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--force") == 0) forced = true;
    if (std::strcmp(argv[i], "--result") == 0 && i + 1 < argc) result = argv[i + 1];
  }
  if (const char* wait = std::getenv("MARIVANE_STAND_IN_WAIT")) Sleep(std::atoi(wait));
  const char* answer = std::getenv("MARIVANE_STAND_IN_ANSWER");
  const char* answer_forced = std::getenv("MARIVANE_STAND_IN_FORCED");
  if (forced && answer_forced != nullptr && *answer_forced != '\0') answer = answer_forced;
  if (answer == nullptr || std::strchr(answer, ':') == nullptr) answer = "2:-";
  const std::string text = std::strchr(answer, ':') + 1;
  if (result != nullptr && text != "-") {
    if (std::FILE* file = std::fopen(result, "wb")) {
      for (std::size_t at = 0; at < text.size(); ++at) {
        const bool escaped = text.compare(at, 2, "\\n") == 0 || text.compare(at, 2, "\\r") == 0;
        if (escaped) ++at;
        const char c = !escaped ? text[at] : text[at] == 'n' ? '\n' : '\r';
        std::fputc(c, file);
      }
      std::fclose(file);
    }
  }
  if (const char* log = std::getenv("MARIVANE_STAND_IN_LOG")) {
    if (std::FILE* file = std::fopen(log, "ab")) {
      for (int i = 1; i < argc; ++i) std::fprintf(file, "%s\t", argv[i]);
      std::fputc('\n', file);
      std::fclose(file);
    }
  }
  return std::atoi(answer);
}

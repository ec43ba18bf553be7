// A stand-in for the voice converters (built as ffmpeg.exe, silk_v3_decoder.exe
// and silkencoder.exe in bin\main\corn). It appends "<its own path> TAB
// <working folder> TAB <command line>" to converter.log beside itself, reads the first quoted
// argument and writes "<its bytes>|<own name>" to the last one. An input that
// is missing or holds "fail" gives no output. An existing output is kept
// unless "y" is read from the standard input, as ffmpeg asks.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string ReadAll(const std::string& path) {
  std::string out;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) out.append(buffer, n);
    std::fclose(f);
  }
  return out;
}

}  // namespace

int main() {
  char self[MAX_PATH] = {}, folder[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  GetCurrentDirectoryA(MAX_PATH, folder);
  const std::string path(self);
  const std::string dir = path.substr(0, path.find_last_of('\\') + 1);
  std::string name = path.substr(dir.size());
  name.resize(name.find('.'));
  const std::string line = GetCommandLineA();
  if (FILE* log = std::fopen((dir + "converter.log").c_str(), "ab")) {
    std::fprintf(log, "%s\t%s\t%s\n", self, folder, line.c_str());
    std::fclose(log);
  }
  std::vector<std::string> quoted;
  for (std::size_t open = line.find('"'); open != std::string::npos;) {
    const std::size_t close = line.find('"', open + 1);
    if (close == std::string::npos) break;
    quoted.push_back(line.substr(open + 1, close - open - 1));
    open = line.find('"', close + 1);
  }
  if (quoted.size() < 2) return 2;
  if (GetFileAttributesA(quoted.back().c_str()) != INVALID_FILE_ATTRIBUTES) {
    char answer[8] = {};
    if (!std::fgets(answer, sizeof answer, stdin) || answer[0] != 'y') return 1;
  }
  const std::string input = ReadAll(quoted.front());
  if (input.empty() || input.find("fail") != std::string::npos) return 1;
  FILE* out = std::fopen(quoted.back().c_str(), "wb");
  if (!out) return 1;
  const std::string bytes = input + "|" + name;
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);
  return 0;
}

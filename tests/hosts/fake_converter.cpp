// A stand-in for the voice converters (built as ffmpeg.exe, silk_v3_decoder.exe
// and silkencoder.exe in bin\main\corn). It appends "<its own path> TAB
// <working folder> TAB <command line>" to converter.log beside itself, reads
// the first quoted argument and writes "<its bytes>|<own name>" to the last
// one. An input that is missing or holds "fail" gives no output; one that
// holds "huge" has ffmpeg write an output of 3 GB (that takes no disk space).
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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
  std::ifstream in(quoted.front(), std::ios::binary);
  const std::string input{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (input.empty() || input.find("fail") != std::string::npos) return 1;
  if (name == "ffmpeg" && input.find("huge") != std::string::npos) {
    HANDLE huge = CreateFileA(quoted.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    SetFilePointerEx(huge, LARGE_INTEGER{.QuadPart = 3LL << 30}, nullptr, FILE_BEGIN);
    SetEndOfFile(huge);
    CloseHandle(huge);
    return 0;
  }
  FILE* out = std::fopen(quoted.back().c_str(), "wb");
  if (!out) return 1;
  const std::string bytes = input + "|" + name;
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);
  return 0;
}

// Find in files and Go to file over real PHP sources, beside ripgrep.
//
// The tree: Debian's wordpress and php-laravel-framework (with the libraries
// it pulls in), copied COPIES times by bench/make-php-corpus (default 8:
// about 690 MB, 55,000 files), made a git repository whose .gitignore leaves
// out minified scripts and source maps, so that both programs apply ignore
// rules. The cache is warmed first; then each round searches with TFileSearch
// and with `rg` in turn, for a literal and a regular expression, and the
// medians are printed, with the time to the first result taken, the peak of
// resident memory above the figure before the search, and the machine's load.
// Before timing, the matches are compared: every file:line:column-end of the
// engine against rg's --vimgrep -o output, sorted.
//
// With NOGIT=1 in the environment the tree is searched as a plain folder
// (its .git moved aside for the run): the figures without ignore rules.
//
// usage: bench_find_in_files [ROUNDS] [COPIES] [CORPUS_DIR]

#include <git2.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "app/FileList.h"
#include "app/FileSearch.h"

namespace {

using TClock = std::chrono::steady_clock;

double MsSince(TClock::time_point start) {
  return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Processor time of this process, of its finished children, of this thread.
double CpuMs(int who) {
  rusage u{};
  getrusage(who, &u);
  auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; };
  return ms(u.ru_utime) + ms(u.ru_stime);
}
double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double Max(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

// A figure of /proc/self/status in MB ("VmRSS", "VmHWM").
double StatusMb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + std::strlen(key) + 1) / 1024.0;
  return 0;
}

// Starts the peak of resident memory again from what is resident now.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

std::string Load() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

std::string Rg(const std::string& dir, const std::string& flags, const std::string& pattern) {
  return "cd '" + dir + "' && rg --no-config --hidden --no-ignore-dot -g '!.git' " + flags + " -e '" + pattern + "' .";
}

// Runs a command, handing each line of its output to `row`.
template <typename Row>
void EachLine(const std::string& command, Row&& row) {
  FILE* p = popen(command.c_str(), "r");
  if (!p) return;
  std::vector<char> buf(1 << 20);
  while (fgets(buf.data(), static_cast<int>(buf.size()), p)) row(buf.data());
  pclose(p);
}

struct TOurs {
  double ms = 0, firstMs = 0, peakMb = 0, cpuMs = 0;
  std::int64_t lines = 0;
};

// One search as a window runs it: results taken as they are announced, and dropped.
TOurs SearchOnce(const std::string& dir, const std::string& pattern, const TSearchOptions& options,
                 std::vector<std::string>* rows = nullptr) {
  TOurs r;
  std::mutex m;
  std::condition_variable cv;
  bool ready = false;
  TFileSearch search;
  search.OnReady = [&] {
    std::lock_guard<std::mutex> g(m);
    ready = true;
    cv.notify_one();
  };
  const double idle = StatusMb("VmRSS:");
  ResetPeak();
  const double cpu = CpuMs(RUSAGE_SELF);
  const auto start = TClock::now();
  search.Start(dir, pattern, {options, "", 0});
  for (;;) {
    {
      std::unique_lock<std::mutex> g(m);
      cv.wait_for(g, std::chrono::milliseconds(20), [&] { return ready; });
      ready = false;
    }
    const bool finished = search.Finished();
    for (const TFoundFile& f : search.Take()) {
      if (r.firstMs == 0) r.firstMs = MsSince(start);
      r.lines += static_cast<std::int64_t>(f.Lines.size());
      if (rows)
        for (const TFoundLine& l : f.Lines)
          for (const TFoundMatch& fm : l.Matches)
            rows->push_back(f.Path + ":" + std::to_string(l.Line) + ":" + std::to_string(fm.FileBegin) + "-" +
                            std::to_string(fm.FileEnd));
    }
    if (finished && search.Take().empty()) break;
  }
  r.ms = MsSince(start);
  search.Wait();
  r.cpuMs = CpuMs(RUSAGE_SELF) - cpu;
  r.peakMb = StatusMb("VmHWM:") - idle;
  return r;
}

struct TRg {
  double ms = 0, firstMs = 0, cpuMs = 0;
  std::int64_t lines = 0;
};

TRg RgOnce(const std::string& dir, const std::string& flags, const std::string& pattern) {
  TRg r;
  const double cpu = CpuMs(RUSAGE_CHILDREN);
  const auto start = TClock::now();
  EachLine(Rg(dir, flags + " -n", pattern), [&](const char*) {
    if (r.lines++ == 0) r.firstMs = MsSince(start);
  });
  r.ms = MsSince(start);
  r.cpuMs = CpuMs(RUSAGE_CHILDREN) - cpu;
  return r;
}

std::vector<std::string> RgRows(const std::string& dir, const std::string& flags, const std::string& pattern) {
  std::vector<std::string> rows;
  EachLine(Rg(dir, flags + " --vimgrep -o", pattern), [&](const char* line) {
    std::string s(line);
    if (!s.empty() && s.back() == '\n') s.pop_back();
    const std::size_t a = s.find(':'), b = s.find(':', a + 1), k = s.find(':', b + 1);
    if (k == std::string::npos) return;
    const long begin = std::stol(s.substr(b + 1, k - b - 1)) - 1;
    rows.push_back(s.substr(2, a - 2) + ":" + s.substr(a + 1, b - a - 1) + ":" + std::to_string(begin) + "-" +
                   std::to_string(begin + static_cast<long>(s.size() - k - 1)));
  });
  std::sort(rows.begin(), rows.end());
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  const int copies = argc > 2 ? std::atoi(argv[2]) : 8;
  const std::string dir = argc > 3 ? argv[3] : "/tmp/quorvel-php-corpus";
  const std::string make = std::string(QUORVEL_SOURCE_DIR) + "/bench/make-php-corpus '" + dir + "' " +
                           std::to_string(copies);
  if (std::system(make.c_str()) != 0) return 1;
  const bool plain = std::getenv("NOGIT") && std::string(std::getenv("NOGIT")) == "1";
  if (plain) std::filesystem::rename(dir + "/.git", dir + "/.git-aside");
  if (!plain && !std::filesystem::exists(dir + "/.git")) {
    std::ofstream(dir + "/.gitignore") << "*.min.js\n*.map\n";
    git_libgit2_init();
    git_repository* repo = nullptr;
    if (git_repository_init(&repo, dir.c_str(), 0) != 0) return 1;
    git_repository_free(repo);
    git_libgit2_shutdown();
  }
  std::printf("tree %s%s, load before: %s\n", dir.c_str(), plain ? " (no repository)" : " (a git repository)",
              Load().c_str());
  // A warm cache: every file read once by each program.
  RgOnce(dir, "-F", "warm the cache");
  SearchOnce(dir, "warm the cache", {.MatchCase = true});

  struct Case {
    const char* name;
    const char* pattern;
    TSearchOptions options;
    const char* rgFlags;
  };
  const Case cases[] = {{"literal", "wp_enqueue_script", {.MatchCase = true}, "-s -F"},
                        {"regex", "function [a-z_]+\\(\\$[a-z]+", {.MatchCase = true, .Regex = true}, "-s"}};
  for (const Case& c : cases) {
    std::vector<std::string> ours;
    SearchOnce(dir, c.pattern, c.options, &ours);
    std::sort(ours.begin(), ours.end());
    const std::vector<std::string> theirs = RgRows(dir, c.rgFlags, c.pattern);
    std::printf("%-8s the same matches as rg: %s (%zu matches; rg %zu)\n", c.name, ours == theirs ? "yes" : "NO",
                ours.size(), theirs.size());
    std::vector<double> ms, rgMs, first, rgFirst, peak, cpu, rgCpu;
    std::int64_t ourLines = 0, rgLines = 0;
    for (int i = 0; i < rounds; ++i) {
      const TOurs r = SearchOnce(dir, c.pattern, c.options);
      ms.push_back(r.ms);
      first.push_back(r.firstMs);
      peak.push_back(r.peakMb);
      cpu.push_back(r.cpuMs);
      ourLines = r.lines;
      const TRg g = RgOnce(dir, c.rgFlags, c.pattern);
      rgMs.push_back(g.ms);
      rgFirst.push_back(g.firstMs);
      rgCpu.push_back(g.cpuMs);
      rgLines = g.lines;
    }
    std::printf(
        "%-8s ours %7.1f ms  rg %7.1f ms  ratio %.2f | processor ours %7.1f ms  rg %7.1f ms  ratio %.2f | first result "
        "%.1f ms (worst %.1f), rg %.1f ms | peak +%.1f MB (worst +%.1f) | lines %lld / rg %lld | load %s\n",
        c.name, Median(ms), Median(rgMs), Median(ms) / Median(rgMs), Median(cpu), Median(rgCpu),
        Median(cpu) / Median(rgCpu), Median(first), Max(first), Median(rgFirst), Median(peak), Max(peak),
        static_cast<long long>(ourLines), static_cast<long long>(rgLines), Load().c_str());
  }

  // Go to file: the list, then a query typed a letter at a time.
  std::vector<double> listMs, listCpu;
  std::size_t files = 0;
  for (int i = 0; i < rounds; ++i) {
    TFileList list;
    const double cpu = CpuMs(RUSAGE_SELF);
    const auto start = TClock::now();
    list.Start(dir);
    list.Wait();
    listMs.push_back(MsSince(start));
    listCpu.push_back(CpuMs(RUSAGE_SELF) - cpu);
    files = list.Files().size();
  }
  std::printf("list     %zu files in %.1f ms (worst %.1f), processor %.1f ms | load %s\n", files, Median(listMs),
              Max(listMs), Median(listCpu), Load().c_str());
  TFileList list;
  list.Start(dir);
  list.Wait();
  for (const std::string query : {"wpquery", "classwpdb", "illuminatecollectionsarr"}) {
    std::vector<double> keyMs, keyCpu;
    std::string best;
    for (int i = 0; i < rounds; ++i)
      for (std::size_t n = 1; n <= query.size(); ++n) {
        const double cpu = ThreadCpuMs();
        const auto start = TClock::now();
        const std::vector<std::size_t> hits = list.Filter(query.substr(0, n), 100);
        keyMs.push_back(MsSince(start));
        keyCpu.push_back(ThreadCpuMs() - cpu);
        if (n == query.size() && !hits.empty()) best = list.Files()[hits[0]];
      }
    std::printf("filter   \"%s\" per keystroke %.2f ms (worst %.2f), processor %.2f ms (worst %.2f), best %s\n",
                query.c_str(), Median(keyMs), Max(keyMs), Median(keyCpu), Max(keyCpu), best.c_str());
  }
  std::printf("load after: %s\n", Load().c_str());
  if (plain) std::filesystem::rename(dir + "/.git-aside", dir + "/.git");
  return 0;
}

#include "bench/support/Corpus.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#ifndef QUORVEL_CORPUS_TOOL
#define QUORVEL_CORPUS_TOOL "bench/make-corpus"
#endif

std::string CorpusFile(double megabytes) {
  char name[64];
  std::snprintf(name, sizeof name, "quorvel-corpus-%g.php", megabytes);
  std::string path = (std::filesystem::temp_directory_path() / name).string();
  if (!std::filesystem::exists(path)) {
    std::string cmd = std::string("python3 ") + QUORVEL_CORPUS_TOOL + " " + std::to_string(megabytes) + " " + path;
    if (std::system(cmd.c_str()) != 0) throw std::runtime_error("cannot make corpus: " + cmd);
  }
  return path;
}

std::string MixedScriptCorpusFile(double megabytes) {
  const std::string ascii = CorpusFile(megabytes);
  const std::string path = ascii + ".mixed.txt";
  if (!std::filesystem::exists(path)) {
    const std::string tool = (std::filesystem::path(QUORVEL_CORPUS_TOOL).parent_path() / "make-mixed-corpus").string();
    std::string cmd = "python3 " + tool + " " + ascii + " " + path;
    if (std::system(cmd.c_str()) != 0) throw std::runtime_error("cannot make corpus: " + cmd);
  }
  return path;
}

std::string CorpusBytes(double megabytes) {
  std::ifstream in(CorpusFile(megabytes), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

long PeakRssBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss * 1024L;
}

#pragma once

// Generated test documents for the benchmarks.

#include <string>

// Path of a deterministic PHP/HTML document of about `megabytes` MB, made on
// first use under the temporary folder and reused afterwards.
std::string CorpusFile(double megabytes);

// The same document as UTF-8 of about the same size, its words Chinese,
// Cyrillic and ASCII in turn (bench/make-mixed-corpus), made on first use.
std::string MixedScriptCorpusFile(double megabytes);

// Its bytes.
std::string CorpusBytes(double megabytes);

// Peak resident memory of this process so far, in bytes.
long PeakRssBytes();

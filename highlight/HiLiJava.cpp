#include "highlight/HiLiJava.h"

#include "highlight/HiLiCScanner.h"

TJavaHighLight::TJavaHighLight(TAdvLines& lines) : TStateHighLight(lines, false), Keywords(SharedWordList("JavaWrd")) {}

void TJavaHighLight::ScanLine(std::string_view text, TCLineState& state) {
  Classes.resize(text.size());
  hl::ScanCLine<hl::TCDialect::Java, true>(text, state, Classes.data(), Keywords);
}

void TJavaHighLight::AdvanceState(std::string_view text, TCLineState& state) {
  hl::ScanCLine<hl::TCDialect::Java, false>(text, state, nullptr, Keywords);
}

#include "highlight/HiLiC.h"

#include "highlight/HiLiCScanner.h"

TCHighLight::TCHighLight(TAdvLines& lines) : TStateHighLight(lines, false), Keywords(SharedWordList("CppWrd")) {}

void TCHighLight::ScanLine(std::string_view text, TCLineState& state) {
  Classes.resize(text.size());
  hl::ScanCLine<hl::TCDialect::C, true>(text, state, Classes.data(), Keywords);
}

void TCHighLight::AdvanceState(std::string_view text, TCLineState& state) {
  hl::ScanCLine<hl::TCDialect::C, false>(text, state, nullptr, Keywords);
}

#include "highlight/HiLiXML.h"

#include "highlight/HiLiCScanner.h"

TXMLHighLight::TXMLHighLight(TAdvLines& lines) : TStateHighLight(lines, false), Keywords(SharedWordList("CppWrd")) {}

void TXMLHighLight::ScanLine(std::string_view text, TCLineState& state) {
  Classes.resize(text.size());
  hl::ScanCLine<hl::TCDialect::C, true>(text, state, Classes.data(), Keywords);
}

void TXMLHighLight::AdvanceState(std::string_view text, TCLineState& state) {
  hl::ScanCLine<hl::TCDialect::C, false>(text, state, nullptr, Keywords);
}

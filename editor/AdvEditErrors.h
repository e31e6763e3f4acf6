#pragma once

// The failures of the editing component.

#include <exception>
#include <stdexcept>

// Errors of the editor with their message texts.
class EAdvEditError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A silent abort: ends a command early; the dispatcher swallows it.
class EComplete : public std::exception {
 public:
  const char* what() const noexcept override { return ""; }
};

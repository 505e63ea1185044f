// Number texts of the task-structure files, always in the "C" locale whatever locale the
// process (or the host that loaded the library) has set.
#pragma once

#include <cstdlib>
#include <ios>
#include <locale>
#include <sstream>
#include <string>

// A stream that writes numbers in the "C" locale, fixed notation with the point shown
// and six decimals.
inline void set_vorna_number_format(std::ostream& stream) {
  stream.imbue(std::locale::classic());
  stream.setf(std::ios::fixed, std::ios::floatfield);
  stream.setf(std::ios::showpoint);
  stream.precision(6);
}

// "%.<decimals>f" of v.
inline std::string fixed_text(double v, int decimals = 6) {
  std::ostringstream text;
  set_vorna_number_format(text);
  text.precision(decimals);
  text << v;
  return text.str();
}

// Whether the reader turns the text into exactly this float.
inline bool reads_back_exactly(const std::string& text, float v) {
  std::istringstream back(text);
  back.imbue(std::locale::classic());
  double read = 0.0;
  back >> read;
  return static_cast<float>(read) == v;
}

// The shortest fixed text, with at least one decimal, that reads back as exactly the
// same float ("0.5", "1.0", "0.25", "0.3333").
inline std::string shortest_exact_text(float v) {
  for (int decimals = 1; decimals <= 60; decimals++) {
    std::string text = fixed_text(v, decimals);
    if (reads_back_exactly(text, v)) return text;
  }
  // Only a value that is not a number gets here; it cannot read back in any form.
  return fixed_text(v, 6);
}

// What an action threw, for checks on the library's exceptions: the class and
// the message it carried.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <typeindex>
#include <vector>

#include "ZEB/Exception.h"

namespace ZEBTest {

struct Thrown {
  std::type_index type = typeid(void); // typeid(void): nothing was thrown
  int id = -1, line = -1;
  unsigned lastError = 0;
  std::string file;
  std::vector<std::string> parameters; // as narrow text
};

template <class Action> Thrown Catch(Action&& action) {
  Thrown thrown;
  try {
    action();
  } catch (ZEB::BaseException const& e) {
    thrown.type = typeid(e);
    if (auto const& info = e.Info()) {
      thrown.id = info->Id();
      thrown.line = info->Line();
      thrown.lastError = info->LastError();
      thrown.file = info->File();
      for (std::u16string const& parameter : info->Parameters())
        thrown.parameters.emplace_back(parameter.begin(), parameter.end());
    }
  }
  return thrown;
}

// Any system error but none; any system error at all.
constexpr unsigned SOME_ERROR = ~0u, ANY_ERROR = ~0u - 1;

// The class, message id, parameters and system error are the ones expected.
inline ::testing::AssertionResult Raised(Thrown const& t, std::type_info const& type, int id,
                                         std::vector<std::string> const& parameters, unsigned lastError) {
  bool errorOk = lastError == ANY_ERROR || (lastError == SOME_ERROR ? t.lastError != 0 : t.lastError == lastError);
  if (t.type == std::type_index(type) && t.id == id && t.parameters == parameters && errorOk)
    return ::testing::AssertionSuccess();
  auto result = ::testing::AssertionFailure();
  result << "threw " << t.type.name() << " id " << t.id << " error " << t.lastError << " parameters";
  for (std::string const& p : t.parameters)
    result << " '" << p << "'";
  return result;
}

} // namespace ZEBTest

// NARWICK_REGISTER_CLASS(clsX): makes a class creatable by its ProgID. Put it once in the
// class's .cc, inside namespace narwick.
#pragma once

#include <memory>

#include "narwick/frame/class_table.h"

#define NARWICK_REGISTER_CLASS(cls)                                               \
  [[maybe_unused]] static const bool narwick_registered_##cls =                   \
      ::narwick::frame::RegisterFactory(#cls, []() -> std::shared_ptr<::narwick::frame::AutomationObject> { \
        return std::make_shared<cls>();                                           \
      })

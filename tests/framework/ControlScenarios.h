#pragma once
// The controls and forms of the UI framework as every back end must show them, written against
// the interfaces only and run by each back end's own test runner, like BehaviourScenarios.

#include <vector>

#include "tests/framework/BehaviourScenarios.h"

namespace pw::test {

const std::vector<Scenario>& ControlScenarios();

}  // namespace pw::test

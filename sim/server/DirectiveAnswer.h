#pragma once

#include "Directives.h"

namespace ServerSim {

class CConnection;

// Carries out a directive in place of (or, for a warning, ahead of) the normal answer of a stage.
class CDirectiveAnswer {
public:
    // Takes the next directive for the stage, if any, and carries it out. True when it replaced the
    // normal answer; false when there was none or it was a warning (the normal answer follows).
    static bool Apply(CConnection& connection, const std::string& stage);

private:
    static bool Carry(CConnection& connection, const SDirective& directive, json_object* parameters);
};

}  // namespace ServerSim

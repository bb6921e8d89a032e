#pragma once

namespace VexlaLib {

// Stores value in field when they differ; returns whether the field changed. The setters of the model
// report changes this way so the handlers can tell listeners exactly what moved.
template <typename T>
bool AssignIfChanged(T& field, const T& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

}  // namespace VexlaLib

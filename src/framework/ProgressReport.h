// What a step may tell the user while it works: the install progress window
// implements it, and tests record it.
#pragma once

#include <windows.h>

#include <string>

class IProgressReport
{
public:
    virtual ~IProgressReport() = default;

    // The upper line names the step, the lower the item it works on; each from a
    // string id, where 0 (or an id without text) clears the line.
    virtual void SetStatus(UINT line1Id, UINT line2Id) = 0;
    virtual void SetLine2(UINT id) = 0;
    virtual void SetLine2Text(const std::string& text) = 0;
};

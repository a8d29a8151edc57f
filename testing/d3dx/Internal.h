// Shared inside the stand-in DLL: the failures armed through the stroke log.
#pragma once

#include "testing/d3dx/StrokeLog.h"

// True when this call of the given creation function is the one armed to fail; *hr is the answer.
bool TakeCreateFailure(StrokeLogCreate which, HRESULT* hr);

#include "plugin/main/cutter_link.h"

namespace {
CutterFactory g_factory = nullptr;
}

void SetCutterFactory(CutterFactory factory)
{
    g_factory = factory;
}

CutterFactory GetCutterFactory()
{
    return g_factory;
}

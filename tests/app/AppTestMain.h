#pragma once
#include "tests/support/ScriptedDialogs.h"

// The dialog service of the application object the app tests run under.
ScriptedDialogs& appDialogs();

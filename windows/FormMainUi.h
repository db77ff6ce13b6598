#pragma once

// Ui::FormMain, built from FormMain.ui by levelbook_windows. Include this header rather than
// ui_FormMain.h: a target with AUTOUIC stops at a ui_*.h whose .ui is not beside its sources.
#include "ui_FormMain.h"

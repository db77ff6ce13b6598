#pragma once

// Ui::FormSet, built from FormSet.ui by levelbook_windows. Include this header rather than
// ui_FormSet.h: a target with AUTOUIC stops at a ui_*.h whose .ui is not beside its sources.
#include "ui_FormSet.h"

#pragma once

// Ui::FormPj, built from FormPj.ui by levelbook_windows (see FormSetUi.h for why a wrapper).
#include "ui_FormPj.h"

// The windows' process-wide state, and its reset.
#include "ui/uiwindows.h"

UiState uiState;

void resetUiState() { uiState = {}; }

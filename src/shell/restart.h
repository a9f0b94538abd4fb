#pragma once

// Enables the shutdown privilege where there is one and asks Windows to restart.
void RestartWindows();

#pragma once

// The process-wide closing flag. Set once by the main window when it closes;
// every running transfer that honours it ends within about a second.
bool isClosing();
void setClosing();

// Tests only: puts the flag back to false so that one test program can
// exercise several closings. The program itself never resets it.
void resetClosingForTest();

#pragma once

class QWidget;

// A window of the console opens in the middle of the screen it is on.
void centreOnScreen(QWidget& window);

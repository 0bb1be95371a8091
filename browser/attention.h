#ifndef ATTENTION_H
#define ATTENTION_H

class QWidget;

// Asks the user to look at the top-level |window|, as QApplication::alert
// means to: the window manager marks it as demanding attention until the
// window is activated. Each platform has a file of its own
// (attention_linux.cpp); a Windows port flashes the task bar button with
// QApplication::alert. GUI thread only.
void demandAttention(QWidget *window);

#endif // ATTENTION_H

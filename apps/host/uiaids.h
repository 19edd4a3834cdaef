#pragma once

// Test aids: find a widget of the running application by its objectName (or,
// for buttons, by their text) and act on it the way a user would. The active
// modal dialog is searched first, then the helmdeck window, then every other
// top-level widget, so a name that several dialogs use ("okButton") means the
// one in front.
//
// Clicks and closes are queued: they happen from the event loop once the
// calling script call has returned, so a click that opens a modal dialog does
// not hold the caller (the console) until that dialog is answered.

#include <QString>
#include <QVariant>

class QWidget;

namespace uiaids {

// The title of the plug-in's window.
inline const char *const kHelmdeckWindowTitle = "Optimization Helmdeck";

// The visible top-level window titled "Optimization Helmdeck", or null.
QWidget *helmdeckWindow();
QWidget *findWidget(const QString &name);

// Queues a click; false when there is no such enabled, visible button-like widget.
bool click(const QString &name);
// What the widget shows: text of labels, buttons, line edits, combo boxes,
// spin boxes; the title of a window; the value of a progress bar. Null
// (false) when there is no such widget.
bool text(const QString &name, QString &text);
// Sets the text of a line edit, or the value of a spin box; false otherwise.
bool setText(const QString &name, const QString &text);
// Any Qt property of the widget, in its text form.
bool property(const QString &name, const QString &property, QString &value);
// The objectName of the active modal widget; empty when there is none.
QString activeModalName();
// Queues close() of the helmdeck window; false when none is open.
bool closeHelmdeckWindow();
// Grabs the widget as shown now and writes it as PNG.
bool grabToFile(QWidget *widget, const QString &path, QString *error);

} // namespace uiaids

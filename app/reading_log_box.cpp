// Reading log box: appending, counting, spilling old lines to the store, and writing out.
#include "app/reading_log_box.h"

#include <QIODevice>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace velmora {

namespace {

constexpr std::string_view kCrLf = "\r\n";

bool WriteAll(QIODevice& device, std::string_view bytes) {
    return bytes.empty() || device.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
                                static_cast<qint64>(bytes.size());
}

} // namespace

ReadingLogBox::ReadingLogBox(QWidget* parent)
    : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Every programmatic append would otherwise stay on the undo stack for
    // the whole run.
    setUndoRedoEnabled(false);
    // Tab walks the window's controls: a tab typed here would land in the
    // saved CSV, and the box would trap the keyboard.
    setTabChangesFocus(true);
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int position, int charsRemoved, int charsAdded) {
                noteUserEdit(position, charsRemoved, charsAdded);
            });
}

void ReadingLogBox::noteUserEdit(int position, int charsRemoved, int charsAdded) {
    // The user emptied the box (select all, then delete, cut or type): the
    // older lines kept out of sight go with it, as they are part of what was
    // selected. Any smaller edit, even of the first line, leaves them alone.
    // The document always keeps one paragraph end, which no edit removes.
    const int before = document()->characterCount() - charsAdded + charsRemoved;
    if (!editingItself_ && position == 0 && charsRemoved > 0 && charsRemoved >= before - 1) {
        store_.clear();
    }
}

void ReadingLogBox::resetTo(std::string_view headerLine) {
    store_.clear();
    const QScopedValueRollback ownEdit(editingItself_, true);
    clear();
    appendLine(headerLine);
}

int ReadingLogBox::linesInBox() const {
    const QTextDocument* doc = document();
    const bool endsWithLineEnd = doc->lastBlock().length() <= 1;
    return doc->blockCount() - (endsWithLineEnd ? 1 : 0);
}

int64_t ReadingLogBox::lineCount() const {
    return store_.lineCount() + linesInBox();
}

void ReadingLogBox::appendLine(std::string_view line) {
    const QScopedValueRollback ownEdit(editingItself_, true);
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    text += QLatin1Char('\n');
    // A line typed without Enter stays a line of its own.
    if (document()->lastBlock().length() > 1) {
        text.prepend(QLatin1Char('\n'));
    }
    cursor.insertText(text);
    if (linesInBox() > kLinesInBox + kLinesMovedAtOnce) {
        moveOldLinesToStore();
    }
    scrollToNewest();
}

void ReadingLogBox::moveOldLinesToStore() {
    std::string moved;
    QTextBlock block = document()->firstBlock();
    for (int i = 0; i < kLinesMovedAtOnce && block.isValid(); ++i, block = block.next()) {
        moved += block.text().toStdString();
        moved += kCrLf;
    }
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::Start);
    cursor.setPosition(block.position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    store_.appendLines(moved, kLinesMovedAtOnce);
}

void ReadingLogBox::scrollToNewest() {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

void ReadingLogBox::forEachSavedChunk(const std::function<void(std::string_view)>& write) const {
    store_.forEachChunk(write);
    for (QTextBlock block = document()->firstBlock(); block.isValid(); block = block.next()) {
        const bool last = !block.next().isValid();
        const std::string text = block.text().toStdString();
        if (last && text.empty()) {
            break; // the empty place after the final line end
        }
        write(text);
        if (!last) {
            write(kCrLf);
        }
    }
}

bool ReadingLogBox::writeTo(QIODevice& device) const {
    struct Refused {};
    try {
        forEachSavedChunk([&](std::string_view bytes) {
            if (!WriteAll(device, bytes)) {
                throw Refused{};
            }
        });
    } catch (const Refused&) {
        return false;
    }
    return true;
}

void ReadingLogBox::keyPressEvent(QKeyEvent* event) {
    // Shift+Enter would insert a soft line break, which a CSV file cannot hold
    // apart from a real line end; make it a plain Enter.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & Qt::ShiftModifier)) {
        QKeyEvent plain(event->type(), event->key(), event->modifiers() & ~Qt::ShiftModifier,
                        event->text(), event->isAutoRepeat(), event->count());
        QPlainTextEdit::keyPressEvent(&plain);
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

} // namespace velmora

// The reading log box (Memo2): newest lines on screen, older ones in a compact store.
#pragma once

#include "app/reading_log_store.h"

#include <QPlainTextEdit>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class QIODevice;

namespace velmora {

// A word-wrapped text box without scroll bars that the user can type into.
// The program appends CSV lines; every line it adds ends a logical line, so the
// saved text ends with CR LF. Only the newest lines stay in the box: a box
// holding a day of readings would cost a gigabyte and make every append slow,
// so lines that scroll far out of sight move to a byte store and come back
// only when the log is saved. The line count (field 1 of a log line) counts
// logical lines, the store's and the box's, never wrapped screen lines.
// When the user empties the box (select all, then delete, cut or type), the
// stored lines go too: they were part of that log, and a save must not bring
// them back. A smaller edit, even of the first line in sight, keeps them.
class ReadingLogBox : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit ReadingLogBox(QWidget* parent = nullptr);

    // Lines kept in the box before older ones move to the store.
    static constexpr int kLinesInBox = 10000;
    static constexpr int kLinesMovedAtOnce = 1000;

    // Replaces everything with one header line.
    void resetTo(std::string_view headerLine);
    // Adds `line` (UTF-8, no line end) after the last line.
    void appendLine(std::string_view line);

    // Logical lines, header and typed lines included; the empty place after
    // the last line end does not count.
    int64_t lineCount() const;

    // Hands the whole log over in pieces, stored lines first, lines ended by
    // CR LF, UTF-8 without a byte-order mark; what `write` throws leaves here.
    void forEachSavedChunk(const std::function<void(std::string_view)>& write) const;
    // The same into a device. Returns false when the device refuses bytes.
    bool writeTo(QIODevice& device) const;

    const ReadingLogStore& store() const { return store_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void noteUserEdit(int position, int charsRemoved, int charsAdded);
    int linesInBox() const;
    void moveOldLinesToStore();
    void scrollToNewest();

    ReadingLogStore store_;
    bool editingItself_ = false; // our own appends and spills, not the user's edits
};

} // namespace velmora

// TForm2: the chart window, created at start-up.
#pragma once

#include <QWidget>

namespace velmora {

// Created with the other windows and kept hidden.
class TForm2 : public QWidget {
public:
    explicit TForm2(QWidget* parent = nullptr);
};

} // namespace velmora

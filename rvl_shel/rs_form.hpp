// What the wizard's pages share: their ids, and small helpers for their
// controls.
#pragma once

#include <QLineEdit>
#include <QString>

#include <string>

inline constexpr uint32_t welcome_page_id = 103;
inline constexpr uint32_t dump_page_id = 102;
inline constexpr uint32_t settings_page_id = 123;
inline constexpr uint32_t file_page_id = 105;
inline constexpr uint32_t conversion_page_id = 110;
inline constexpr uint32_t delim_page_id = 107;

// Tests and style sheets find the controls by these names.
template <class T>
T* named(T* widget, const char* name)
{
    widget->setObjectName(QString::fromUtf8(name));
    return widget;
}

inline QString qwide(const std::wstring& text) { return QString::fromStdWString(text); }
inline std::wstring text_of(const QLineEdit* edit) { return edit->text().toStdWString(); }

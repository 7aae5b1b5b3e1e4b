#include "GUI2/g_f_dlg.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"

#include <QDir>

#include <filesystem>

namespace {

constexpr const char f_dlg_file[] = "g_f_dlg";

// "Description (*.a *.b)" as the dialog shows it; "*.*" means every file.
QString qt_filter(const std::pair<std::wstring, std::wstring>& entry)
{
    QStringList patterns;
    for (const std::wstring& pattern : tk_wsplit(entry.second, L';'))
        patterns << (pattern == L"*.*" ? QStringLiteral("*") : QString::fromStdWString(pattern));
    return QString::fromStdWString(entry.first) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
           QLatin1Char(')');
}

} // namespace

file_filter parse_filter(const std::wstring& bars)
{
    const std::vector<std::wstring> parts = tk_wsplit(bars, L'|');
    file_filter filter;
    for (size_t i = 0; i + 1 < parts.size(); i += 2)
        filter.emplace_back(parts[i], parts[i + 1]);
    return filter;
}

file_dialog::file_dialog(QWidget* owner, const file_filter& filter, const std::wstring& title,
                         const std::wstring& initial_path)
{
    request.owner = owner;
    request.title = QString::fromStdWString(title);
    for (const auto& entry : filter)
        request.filters << qt_filter(entry);
    const std::filesystem::path initial(initial_path);
    request.folder = initial.has_parent_path() ? QString::fromStdWString(initial.parent_path().wstring())
                                               : QDir::currentPath();
    request.name = QString::fromStdWString(initial.stem().wstring());
}

bool open_file_dialog::show()
{
    const QString chosen = ui().file(request);
    path = chosen.toStdWString();
    return !chosen.isEmpty();
}

save_file_dialog::save_file_dialog(QWidget* owner, const file_filter& filter, const std::wstring& title,
                                   const std::wstring& initial_path, const wchar_t* default_ext)
    : file_dialog(owner, filter, title, initial_path)
{
    if (default_ext == nullptr)
        throw tk_mail_assertion(f_dlg_file, 111);
    extension = default_ext;
    if (!extension.starts_with(L'.'))
        extension.insert(0, 1, L'.');
    request.save = true;
}

bool save_file_dialog::show()
{
    const QString chosen = ui().file(request);
    if (chosen.isEmpty())
        return false;
    path = chosen.toStdWString();
    // Only the name counts: a folder "a.sql" does not make "dump" a dump file;
    // "report.SQL" and "x.sql.bak" are taken as the user wrote them.
    std::wstring name = std::filesystem::path(path).filename().wstring();
    std::wstring wanted = extension;
    if (tk_wstring::to_lower(name).find(tk_wstring::to_lower(wanted)) == std::wstring::npos)
        path += extension;
    tk_logger::wlog(1, L"save_file_dialog::show -> %s", path.c_str());
    return true;
}

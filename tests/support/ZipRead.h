#pragma once
// Reads an archive back with libzip, as any unzip tool would.

#include <QByteArray>
#include <QFile>
#include <zip.h>

namespace fetchora::testing {

// The bytes of the archive's first entry read with the password given (none: null), or "no archive" / "error <libzip
// code>"; stat and name, when asked for, describe it.
inline QByteArray unzipOnly(const QString &archive, const char *password, zip_stat_t *stat = nullptr,
                            QByteArray *name = nullptr)
{
    zip_t *z = zip_open(QFile::encodeName(archive).constData(), ZIP_RDONLY, nullptr);
    if (!z)
        return "no archive";
    QByteArray out;
    zip_stat_t st{};
    zip_stat_index(z, 0, 0, &st);
    if (stat)
        *stat = st;
    if (name)  // how many entries, and the first one's name
        *name = QByteArray::number(zip_get_num_entries(z, 0)) + ' ' + (st.name ? st.name : "");
    if (zip_file_t *f = zip_fopen_index_encrypted(z, 0, 0, password)) {
        char buffer[1 << 16];
        for (zip_int64_t n; (n = zip_fread(f, buffer, sizeof buffer)) > 0;)
            out.append(buffer, n);
        zip_fclose(f);
    } else {
        out = "error " + QByteArray::number(zip_error_code_zip(zip_get_error(z)));
    }
    zip_discard(z);
    return out;
}

}  // namespace fetchora::testing

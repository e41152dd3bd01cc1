#include "RunMark.h"

#include "ContinuousSpool.h"
#include "Database.h"

#include <QDateTime>

namespace Pomiar {

void RunMark::Set(Database& database, bool running) {
    database.Execute(QStringLiteral("CREATE TABLE IF NOT EXISTS unfinished_run (started TEXT)"));
    // Beside the mark, the lines of a continuous transmission not stored
    // yet: what a kill during the transmission would otherwise lose.
    ContinuousSpool::CreateTable(database);
    database.Execute(QStringLiteral("DELETE FROM unfinished_run"));
    if (running)
        database.Execute(QStringLiteral("INSERT INTO unfinished_run (started) VALUES (?)"),
                         {QDateTime::currentDateTime()});
    else
        ContinuousSpool::Clear(database);
}

bool RunMark::LeftUnfinished(Database& database) {
    return database.HasTable(QStringLiteral("unfinished_run")) &&
           database.Scalar(QStringLiteral("SELECT count(*) FROM unfinished_run")).toInt() > 0;
}

int RunMark::ReadingsLeft(Database& database) {
    if (!LeftUnfinished(database))
        return 0;
    return database.Scalar(QStringLiteral("SELECT count(*) FROM pomiary")).toInt();
}

} // namespace Pomiar

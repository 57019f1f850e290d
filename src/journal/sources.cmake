#The journal of a session's operations on its planes, and their replay.
find_package(Threads REQUIRED)
    marlo_library(marlo_journal SOURCES journal_file.cpp journal_records.cpp journal.cpp replay.cpp
                      USES marlo_input PRIVATE PkgConfig::XXHASH PkgConfig::ZSTD Threads::Threads)

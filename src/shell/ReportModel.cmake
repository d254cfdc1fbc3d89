# The report-list model base the tool windows' lists derive from.
target_sources(shell_ui PRIVATE ReportModel.h ReportModel.cpp)
# Columns that fit their list.
target_sources(shell_ui PRIVATE ReportColumns.h ReportColumns.cpp)
# The texts that can be a column's widest, gathered by workers.
target_sources(shell PRIVATE LongestTexts.h LocaleSort.h ScreenFit.h ScreenFit.cpp)

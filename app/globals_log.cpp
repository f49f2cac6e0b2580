// The system log writer: one LOG00000.DBF entry per event of a known type,
// its text made from the type's LOGSTRS text, the caller's values and the
// logged-on user's name.
#include "appcore/globals.h"
#include "dbmodel/syslog.h"

void TGlobals::WriteLog(int type, const char* value1, const char* value2, const char* value3,
                        const char* value4, const char* /*value5: no type takes it*/) {
  if (type < 0 || type >= kTextTableSize) return;
  std::optional<std::string> text = FormatLogText(type, value1, value2, value3, value4);
  if (!text) return;
  TLogRecord r;
  CopyCut(r.TEXT, sizeof r.TEXT, text->c_str());
  r.TYPE = type;
  r.STAT = LogStatus;
  TLogTable t("LOG00000.DBF", 0, 0);
  t.Append(&r);
}

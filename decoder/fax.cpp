// PLACEHOLDER until this family is decoded: every code writes the default text.
#include "decoder/families.h"

void decode_fax(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }

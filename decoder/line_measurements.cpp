// PLACEHOLDER until this family is decoded: every code writes the default text.
#include "decoder/families.h"

void decode_line_measurement(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_capabilities(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_error_statistics(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }

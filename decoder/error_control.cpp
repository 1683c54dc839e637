// PLACEHOLDER until this family is decoded: every code writes the default text.
#include "decoder/families.h"

void decode_lapm_event(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_lapm_parameter(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_v42bis(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_mnp_event(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_mnp_parameter(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_v80(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }

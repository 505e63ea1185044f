// The scanner's operations for the parser's driver and for tests that read token streams.
#pragma once

#include <cstddef>
#include <cstdio>

// A new copy of the first `length` characters (delete[]); null for a null text or a length
// below 1.
char* flex_strsave(const char* text, int length);
// Traces of recognised tokens, printed only when yydebug is 1.
void print_token(const char* what);
void print_token2();

// Normal mode, depth 0, the buffer of the last input released, no text attached.
void vorna_scanner_reset();
// Start reading a stream (which stays the caller's) or text in memory, from a clean state.
// The text (every one of its `length` characters, zero bytes included) stays the caller's
// and must live until the next reset.
void vorna_scanner_read_stream(FILE* input);
void vorna_scanner_read_text(const char* text, size_t length);

// A text read from memory, as the scanner's refill takes it: while flex_from_string is 1
// the refill calls string_yyinput instead of reading its stream. All null or 0 outside
// such a read.
extern int flex_from_string;
extern const char* flex_string_input;
extern int flex_string_input_len;
extern const char* yy_string_ptr;
// Copies up to max_size of the text's characters not yet delivered into buffer (with a
// zero byte after them when fewer), and returns how many; 0 at the end of the text.
int string_yyinput(char* buffer, int max_size);
// Where characters that belong to no token are copied (standard output by default).
void vorna_scanner_set_echo_stream(FILE* echo);
// The next token (0 at the end of the input); its value is in yylval.
int vorna_scanner_next_token();
// The text of the token read last ("" at the end of the input).
const char* vorna_scanner_current_lexeme();
// The grammar's name of a token ("IDENT", "QMAX", "'('", "end of file").
const char* vorna_token_name(int token);

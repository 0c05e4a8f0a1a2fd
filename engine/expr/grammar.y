/* The grammar of the expression language, for Bison (LALR(1) tables generated at build time).
 *
 * Infix operators, weakest first, all left-associative: .OR.; .AND.; = <> #; $ ==;
 * < > <= >=; + -; * /; ** ^. The prefix operators .NOT., - and + bind tighter than all of
 * them and apply to the operand or parenthesised expression that follows. Functions have a
 * fixed number of arguments (STR: 1 to 3), so a wrong count is a syntax error at the token
 * where it shows. Every reduction checks types and emits its instruction (codegen.h).
 *
 * The state stack holds at most 150 entries: a deeper nesting makes the parser return 2. */

%code requires {
#include "engine/expr/codegen.h"
}

%code {
namespace morvane::expr {
int xqlex(Sem* Value, ParseContext* Context);
}
using morvane::expr::xqlex;
static void xqerror(morvane::expr::ParseContext*, const char*) {
  /* The caller turns the parser's result into the message (Syntax error, stack overflow). */
}
/* A fixed state stack without growth: the parser gives up (result 2) as soon as the stack
   holds as many entries as it has room for, so 150 entries fit and the 151st fails. */
#define YYINITDEPTH 151
#define YYMAXDEPTH 151
}

%define api.prefix {xq}
%define api.pure full
%define api.value.type {morvane::expr::Sem}
%param {morvane::expr::ParseContext* ctx}

%token TEXT NUMBER LTRUE LFALSE FIELD
%token F0 F1 F2 F3 F4 FSTR
%token NOT AND OR
%token PLUS MINUS STAR SLASH POWER
%token EQ EXACTEQ NE LT LE GT GE DOLLAR
%token LPAREN RPAREN COMMA
%token ERRTOK

%left OR
%left AND
%left EQ NE
%left DOLLAR EXACTEQ
%left LT GT LE GE
%left PLUS MINUS
%left STAR SLASH
%left POWER

%{
#define BIN(res, a, op, b) \
  do { if (!ctx->gen.Binary(morvane::expr::Tok::op, (a).type, (b).type, (res).type)) { ctx->typeError = true; YYABORT; } } while (0)
#define PRE(res, op, a) \
  do { if (!ctx->gen.Prefix(morvane::expr::Tok::op, (a).type, (res).type)) { ctx->typeError = true; YYABORT; } } while (0)
#define CALL(res, fn, n, ...) \
  do { const char types[] = {__VA_ARGS__}; \
       if (!ctx->gen.Call((fn).tok.op, n, types, (res).type)) { ctx->typeError = true; YYABORT; } } while (0)
%}

%start start

%%

start
  : expr                  { ctx->gen.Finish(); ctx->resultType = $1.type; }
  ;

expr
  : expr OR expr          { BIN($$, $1, Or, $3); }
  | expr AND expr         { BIN($$, $1, And, $3); }
  | expr EQ expr          { BIN($$, $1, Eq, $3); }
  | expr NE expr          { BIN($$, $1, Ne, $3); }
  | expr DOLLAR expr      { BIN($$, $1, Dollar, $3); }
  | expr EXACTEQ expr     { BIN($$, $1, ExactEq, $3); }
  | expr LT expr          { BIN($$, $1, Lt, $3); }
  | expr GT expr          { BIN($$, $1, Gt, $3); }
  | expr LE expr          { BIN($$, $1, Le, $3); }
  | expr GE expr          { BIN($$, $1, Ge, $3); }
  | expr PLUS expr        { BIN($$, $1, Plus, $3); }
  | expr MINUS expr       { BIN($$, $1, Minus, $3); }
  | expr STAR expr        { BIN($$, $1, Star, $3); }
  | expr SLASH expr       { BIN($$, $1, Slash, $3); }
  | expr POWER expr       { BIN($$, $1, Power, $3); }
  | unary                 { $$ = $1; }
  ;

unary
  : NOT unary             { PRE($$, Not, $2); }
  | MINUS unary           { PRE($$, Minus, $2); }
  | PLUS unary            { PRE($$, Plus, $2); }
  | primary               { $$ = $1; }
  ;

primary
  : TEXT                  { $$.type = ctx->gen.Operand($1.tok); }
  | NUMBER                { $$.type = ctx->gen.Operand($1.tok); }
  | LTRUE                 { $$.type = ctx->gen.Operand($1.tok); }
  | LFALSE                { $$.type = ctx->gen.Operand($1.tok); }
  | FIELD                 { $$.type = ctx->gen.Operand($1.tok); }
  | LPAREN expr RPAREN    { $$ = $2; }
  | F0 LPAREN RPAREN                      { CALL($$, $1, 0, 0); }
  | F1 LPAREN expr RPAREN                 { CALL($$, $1, 1, $3.type); }
  | F2 LPAREN expr COMMA expr RPAREN      { CALL($$, $1, 2, $3.type, $5.type); }
  | F3 LPAREN expr COMMA expr COMMA expr RPAREN
                                          { CALL($$, $1, 3, $3.type, $5.type, $7.type); }
  | F4 LPAREN expr COMMA expr COMMA expr COMMA expr RPAREN
                                          { CALL($$, $1, 4, $3.type, $5.type, $7.type, $9.type); }
  | FSTR LPAREN expr RPAREN               { CALL($$, $1, 1, $3.type); }
  | FSTR LPAREN expr COMMA expr RPAREN    { CALL($$, $1, 2, $3.type, $5.type); }
  | FSTR LPAREN expr COMMA expr COMMA expr RPAREN
                                          { CALL($$, $1, 3, $3.type, $5.type, $7.type); }
  ;

%%

namespace morvane::expr {

int xqlex(Sem* Value, ParseContext* Context) {
  Value->tok = Context->scanner.Next();
  Value->type = 0;
  switch (Value->tok.kind) {
    case Tok::End: return XQEOF;
    case Tok::Text: return TEXT;
    case Tok::Number: return NUMBER;
    case Tok::True: return LTRUE;
    case Tok::False: return LFALSE;
    case Tok::Field: return FIELD;
    case Tok::Func:
      switch (Value->tok.arity) {
        case Arity::A0: return F0;
        case Arity::A1: return F1;
        case Arity::A2: return F2;
        case Arity::A3: return F3;
        case Arity::A4: return F4;
        case Arity::Str: return FSTR;
      }
      return ERRTOK;
    case Tok::Not: return NOT;
    case Tok::And: return AND;
    case Tok::Or: return OR;
    case Tok::Plus: return PLUS;
    case Tok::Minus: return MINUS;
    case Tok::Star: return STAR;
    case Tok::Slash: return SLASH;
    case Tok::Power: return POWER;
    case Tok::Eq: return EQ;
    case Tok::ExactEq: return EXACTEQ;
    case Tok::Ne: return NE;
    case Tok::Lt: return LT;
    case Tok::Le: return LE;
    case Tok::Gt: return GT;
    case Tok::Ge: return GE;
    case Tok::Dollar: return DOLLAR;
    case Tok::LParen: return LPAREN;
    case Tok::RParen: return RPAREN;
    case Tok::Comma: return COMMA;
    case Tok::Error: return ERRTOK;
  }
  return ERRTOK;
}

int RunParser(ParseContext& Context) { return xqparse(&Context); }

}  // namespace morvane::expr

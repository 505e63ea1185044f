%{
// The grammar of the Vorna task-structure text. The reductions call the parser actions;
// repeated fields of the task forms are applied by the actions from the last to the first.
#include <string>

#include "language/grammar_actions.h"
#include "language/vorna_scanner.h"

int yylex();
void yyerror(const char* message);
%}

%code requires {
#include <string>

#include "foundation/shared_types.h"
#include "model/commitment.h"
}

%define parse.trace

%union {
  char* text;
  int integer;
  double number;
  std::string* str;
  CommitmentType commitment_type;
  VORNA_QualityAF qaf;
}

%token SPEC_ATTRIBUTES
%token <text> IDENT
%token <integer> INTEGER
%token <number> FLOAT
/* A number that does not fit its type: no rule takes it, so it is a parse error. */
%token BAD_NUMBER
%token SPECAGENT TASKGROUP SPECTASK SPECMETHOD SPECENABLES SPECDISABLES
%token SPECFACILITATE SPECHINDER SPECUSES SPECPRODUCES SPECLIMITS SPEC_CONSUME_RESOURCE
%token SPEC_NON_CONSUME_RESOURCE SPECCOMMITMENT SPECNLC SPECSCHEDULE SPECSCHEDULE_SETTING_BUNDLE SPEC_MISC_PARAMETERS
%token SPEC_EVALUATION_CRITERIA QMIN QSUM_ALL QSEQ QSEQ_SUM QSEQ_MIN
%token QSEQ_MAX QMAX QSUM QSIGMOID QONE SIGMOID_DISTRIBUTION
%token LABEL AGENT SUBTASKS SUPERTASKS QAF ARRIVALTIME
%token DEADLINE EARLIEST_START_TIME PERCENTAGEOFCPU SPECOUTCOME DENSITY FROM_METHOD
%token TO_METHOD DELAY RESOURCE_STATE RESOURCE_DEPLETED_AT RESOURCE_OVERLOADED_AT CONSUMES_DISTRIBUTION
%token PRODUCES_DISTRIBUTION TYPE TASK NEGOTIABILITY UTILITY IMPORTANCE
%token DONT_INTERVAL_START DONT_INTERVAL_END MINIMUM_QUALITY SATISFIED TIME_SATISFIED METHOD_IS_NON_LOCAL_FLAG
%token DO DONT EST_DL_AND_DO_COMMITMENT STARTTIME FINISHTIME ACCRUEDTIME
%token QUALITY DURATION COST FROM_OUTCOME QUALITY_POWER DURATION_POWER
%token COST_POWER TIME_DISTRIBUTION FROM_AGENT TO_AGENT START_TIME_DISTRIBUTION FINISH_TIME_DISTRIBUTION
%token QUALITY_MONITORING_INFO DURATION_MONITORING_INFO TASK_QUALITY_INFOS COMMITMENT_INFO QUALITY_VALUE DURATION_VALUE
%token COST_VALUE SCHEDULE_ELMT TIME_TO_SCHEDULE_FOR COST_ACCRUED USE_ADVANCED_ANALYSIS PRUNING_SETTING
%token RESOURCE_USE_MODEL RESOURCE_USE_IS_DURATION_INDEPENDENT RESOURCE_USE_IS_PER_TIME_UNIT GOODNESS_QUALITY_SLIDER GOODNESS_COST_SLIDER GOODNESS_DURATION_SLIDER
%token THRESHOLD_QUALITY_SLIDER THRESHOLD_COST_SLIDER THRESHOLD_DURATION_SLIDER QUALITY_THRESHOLD COST_LIMIT DURATION_LIMIT
%token UNCERTAINTY_QUALITY_SLIDER UNCERTAINTY_COST_SLIDER UNCERTAINTY_DURATION_SLIDER THRESHOLD_CERTAINTY_QUALITY_SLIDER THRESHOLD_CERTAINTY_COST_SLIDER THRESHOLD_CERTAINTY_DURATION_SLIDER
%token QUALITY_CERTAINTY_THRESHOLD COST_CERTAINTY_LIMIT DURATION_CERTAINTY_LIMIT META_GOODNESS_SLIDER META_THRESHOLD_SLIDER META_UNCERTAINTY_SLIDER
%token META_UNCERTAINTY_THRESHOLD_SLIDER

%type <str> label_value label agent_field number_text number_list optional_number_list attribute_words
%type <str> delay_field quality_power_field duration_power_field cost_power_field
%type <number> number arrival_time_field earliest_start_time_field deadline_field
%type <number> state_field depleted_at_field overloaded_at_field minimum_quality_field time_satisfied_field
%type <integer> importance_field dont_interval_start_field dont_interval_end_field
%type <text> from_field from_outcome_field to_field
%type <commitment_type> type_field commitment_type
%type <qaf> plain_qaf

%destructor { delete[] $$; } <text>
%destructor { delete $$; } <str>

%%

file
  : forms
  ;

forms
  : form
  | forms form
  ;

form
  : agent_form
  | task_group_form
  | task_form
  | method_form
  | nle_form
  | resource_form
  | resource_effect_form
  | commitment_form
  | nonlocal_commitment_form
  | criteria_form
  | misc_parameters_form
  | setting_bundle_form
  | schedule_form
  | attributes { top_level_attributes(); }
  | '(' TASK IDENT ')' { delete[] $3; }
  ;

/* Used by many forms. */

label_value
  : IDENT { $$ = text_of_name($1); }
  | INTEGER { $$ = text_of_integer($1); }
  | FLOAT { $$ = text_of_decimal($1); }
  ;

label
  : '(' LABEL label_value ')' { $$ = $3; }
  | attributes '(' LABEL label_value ')' { $$ = $4; }
  ;

closer
  : ')'
  | attributes ')'
  ;

agent_field
  : '(' AGENT label_value ')' { $$ = $3; }
  ;

number
  : INTEGER { $$ = $1; }
  | FLOAT { $$ = $1; }
  ;

number_text
  : INTEGER { $$ = text_of_integer($1); }
  | FLOAT { $$ = text_of_decimal($1); }
  ;

/* Value/probability pairs, kept in text order. */
number_list
  : number_text number_text { $$ = join_number_texts($1, $2); }
  | number_list number_text number_text { $$ = join_number_texts(join_number_texts($1, $2), $3); }
  ;

optional_number_list
  : %empty { $$ = nullptr; }
  | number_list { $$ = $1; }
  ;

attributes
  : '(' SPEC_ATTRIBUTES ')'
  | '(' SPEC_ATTRIBUTES { begin_attribute_entries(); } attribute_entries ')'
  ;

attribute_entries
  : attribute_entry
  | attribute_entries attribute_entry
  ;

attribute_entry
  : '(' IDENT attribute_words ')' { add_pending_attribute($2, $3); }
  ;

attribute_words
  : IDENT { $$ = nullptr; add_attribute_word($$, $1); }
  | attribute_words IDENT { $$ = $1; add_attribute_word($$, $2); }
  ;

/* Agents. */

agent_form
  : '(' SPECAGENT label closer { agent_form($3); }
  ;

/* Task groups, tasks and methods: fields in any order, any number of times. */

task_group_form
  : '(' TASKGROUP { begin_task(VORNA_TASK_GROUP); } group_fields closer { end_task(); }
  ;

group_fields
  : %empty
  | group_fields group_field
  ;

group_field
  : common_task_field
  | subtasks_field
  | qaf_field
  ;

task_form
  : '(' SPECTASK { begin_task(VORNA_TASK); } task_fields closer { end_task(); }
  ;

task_fields
  : %empty
  | task_fields task_field
  ;

task_field
  : common_task_field
  | supertasks_field
  | subtasks_field
  | qaf_field
  ;

method_form
  : '(' SPECMETHOD { begin_task(VORNA_METHOD); } method_fields closer { end_task(); }
  ;

method_fields
  : %empty
  | method_fields method_field
  ;

method_field
  : common_task_field
  | supertasks_field
  | '(' SPECOUTCOME outcomes ')'
  | '(' PERCENTAGEOFCPU number ')' { task_number_field(TASK_FIELD_PERCENTAGE_OF_CPU_USED, $3); }
  | '(' STARTTIME number ')' { task_number_field(TASK_FIELD_START_TIME, $3); }
  | '(' FINISHTIME number ')' { task_number_field(TASK_FIELD_FINISH_TIME, $3); }
  | '(' ACCRUEDTIME number ')' { task_number_field(TASK_FIELD_ACCRUED_TIME, $3); }
  | '(' METHOD_IS_NON_LOCAL_FLAG ')' { task_flag_field(TASK_FIELD_METHOD_IS_NON_LOCAL); }
  ;

common_task_field
  : label { task_text_field(TASK_FIELD_LABEL, $1); }
  | agent_field { task_text_field(TASK_FIELD_AGENT, $1); }
  | arrival_time_field { task_number_field(TASK_FIELD_ARRIVAL_TIME, $1); }
  | earliest_start_time_field { task_number_field(TASK_FIELD_EARLIEST_START_TIME, $1); }
  | deadline_field { task_number_field(TASK_FIELD_DEADLINE, $1); }
  ;

subtasks_field
  : '(' SUBTASKS sub_names ')'
  ;

sub_names
  : IDENT { add_sub_name($1); }
  | sub_names IDENT { add_sub_name($2); }
  ;

supertasks_field
  : '(' SUPERTASKS super_names ')'
  ;

super_names
  : IDENT { add_super_name($1); }
  | super_names IDENT { add_super_name($2); }
  ;

qaf_field
  : '(' QAF plain_qaf ')' { task_qaf_field($3, nullptr); }
  | '(' QAF QSIGMOID '(' SIGMOID_DISTRIBUTION number_list ')' ')' { task_qaf_field(VORNA_SIGMOID, $6); }
  ;

plain_qaf
  : QMIN { $$ = VORNA_MIN; }
  | QMAX { $$ = VORNA_MAX; }
  | QSUM { $$ = VORNA_SUM; }
  | QSUM_ALL { $$ = VORNA_SUM_ALL; }
  | QSEQ { $$ = VORNA_SEQ; }
  | QSEQ_SUM { $$ = VORNA_SEQ_SUM; }
  | QSEQ_MIN { $$ = VORNA_SEQ_MIN; }
  | QSEQ_MAX { $$ = VORNA_SEQ_MAX; }
  | QONE { $$ = VORNA_ONLY_ONE; }
  ;

arrival_time_field
  : '(' ARRIVALTIME number ')' { $$ = $3; }
  ;

earliest_start_time_field
  : '(' EARLIEST_START_TIME number ')' { $$ = $3; }
  ;

deadline_field
  : '(' DEADLINE number ')' { $$ = $3; }
  ;

outcomes
  : outcome
  | outcomes outcome
  ;

outcome
  : '(' IDENT '(' DENSITY number ')' '(' QUALITY number_list ')' '(' DURATION number_list ')'
    '(' COST number_list ')' ')' { add_outcome($2, $5, $9, $13, $17); }
  ;

/* Non-local effects. */

from_field
  : '(' FROM_METHOD IDENT ')' { $$ = $3; }
  ;

from_outcome_field
  : '(' FROM_OUTCOME IDENT ')' { $$ = $3; }
  ;

to_field
  : '(' TO_METHOD IDENT ')' { $$ = $3; }
  ;

delay_field
  : '(' DELAY number_list ')' { $$ = $3; }
  ;

quality_power_field
  : '(' QUALITY_POWER number_list ')' { $$ = $3; }
  ;

duration_power_field
  : '(' DURATION_POWER number_list ')' { $$ = $3; }
  ;

cost_power_field
  : '(' COST_POWER number_list ')' { $$ = $3; }
  ;

nle_form
  : '(' SPECENABLES label agent_field from_field to_field delay_field closer
    { nle_form(NLE_ENABLES, $3, $4, $5, nullptr, $6, nullptr, nullptr, nullptr, $7); }
  | '(' SPECENABLES label agent_field from_field from_outcome_field to_field delay_field closer
    { nle_form(NLE_ENABLES, $3, $4, $5, $6, $7, nullptr, nullptr, nullptr, $8); }
  | '(' SPECDISABLES label agent_field from_field to_field delay_field closer
    { nle_form(NLE_DISABLES, $3, $4, $5, nullptr, $6, nullptr, nullptr, nullptr, $7); }
  | '(' SPECDISABLES label agent_field from_field from_outcome_field to_field delay_field closer
    { nle_form(NLE_DISABLES, $3, $4, $5, $6, $7, nullptr, nullptr, nullptr, $8); }
  | '(' SPECFACILITATE label agent_field from_field to_field
    quality_power_field duration_power_field cost_power_field delay_field closer
    { nle_form(NLE_U_FACILITATES, $3, $4, $5, nullptr, $6, $7, $8, $9, $10); }
  | '(' SPECFACILITATE label agent_field from_field from_outcome_field to_field
    quality_power_field duration_power_field cost_power_field delay_field closer
    { nle_form(NLE_U_FACILITATES, $3, $4, $5, $6, $7, $8, $9, $10, $11); }
  | '(' SPECHINDER label agent_field from_field to_field
    quality_power_field duration_power_field cost_power_field delay_field closer
    { nle_form(NLE_U_HINDERS, $3, $4, $5, nullptr, $6, $7, $8, $9, $10); }
  | '(' SPECHINDER label agent_field from_field from_outcome_field to_field
    quality_power_field duration_power_field cost_power_field delay_field closer
    { nle_form(NLE_U_HINDERS, $3, $4, $5, $6, $7, $8, $9, $10, $11); }
  ;

/* Resources. */

resource_keyword
  : SPEC_CONSUME_RESOURCE { begin_resource(RESOURCE_CONSUMABLE); }
  | SPEC_NON_CONSUME_RESOURCE { begin_resource(RESOURCE_NON_CONSUMABLE); }
  ;

resource_agent_field
  : agent_field { resource_agent($1); }
  ;

state_field
  : '(' RESOURCE_STATE number ')' { $$ = $3; resource_state($3); }
  ;

depleted_at_field
  : '(' RESOURCE_DEPLETED_AT number ')' { $$ = $3; }
  ;

overloaded_at_field
  : '(' RESOURCE_OVERLOADED_AT number ')' { $$ = $3; }
  ;

resource_form
  : '(' resource_keyword label state_field depleted_at_field closer
    { end_resource($3, $5, -1.0); }
  | '(' resource_keyword label state_field depleted_at_field overloaded_at_field closer
    { end_resource($3, $5, $6); }
  | '(' resource_keyword label resource_agent_field state_field depleted_at_field closer
    { end_resource($3, $6, -1.0); }
  | '(' resource_keyword label resource_agent_field state_field depleted_at_field overloaded_at_field closer
    { end_resource($3, $6, $7); }
  ;

/* Resource effects. */

rnle_closer
  : closer
  | '(' RESOURCE_USE_MODEL RESOURCE_USE_IS_DURATION_INDEPENDENT ')' { resource_model_field(0); } closer
  | '(' RESOURCE_USE_MODEL RESOURCE_USE_IS_PER_TIME_UNIT ')' { resource_model_field(1); } closer
  ;

resource_effect_form
  : '(' SPECUSES label agent_field from_field to_field '(' CONSUMES_DISTRIBUTION number_list ')' rnle_closer
    { uses_form($3, $4, $5, $6, $9); }
  | '(' SPECPRODUCES label agent_field from_field to_field '(' PRODUCES_DISTRIBUTION number_list ')' rnle_closer
    { produces_form($3, $4, $5, $6, $9); }
  | '(' SPECLIMITS label agent_field from_field to_field
    quality_power_field duration_power_field cost_power_field rnle_closer
    { limits_form($3, $4, $5, $6, $7, $8, $9); }
  ;

/* Commitments. */

commitment_type
  : DEADLINE { $$ = DEADLINE_COMMITMENT_TYPE; }
  | DO { $$ = DO_COMMITMENT_TYPE; }
  | EARLIEST_START_TIME { $$ = EARLIEST_START_TIME_COMMITMENT_TYPE; }
  | EST_DL_AND_DO_COMMITMENT { $$ = EST_DL_AND_DO_COMMITMENT_TYPE; }
  | DONT { $$ = DONT_COMMITMENT_TYPE; }
  ;

type_field
  : '(' TYPE commitment_type ')' { $$ = $3; }
  ;

commitment_tasks_field
  : '(' TASK commitment_task_names ')'
  ;

commitment_task_names
  : IDENT { add_commitment_task_name($1); }
  | commitment_task_names IDENT { add_commitment_task_name($2); }
  ;

importance_field
  : '(' IMPORTANCE INTEGER ')' { $$ = $3; }
  ;

minimum_quality_field
  : '(' MINIMUM_QUALITY number ')' { $$ = $3; }
  ;

dont_interval_start_field
  : '(' DONT_INTERVAL_START INTEGER ')' { $$ = $3; }
  ;

dont_interval_end_field
  : '(' DONT_INTERVAL_END INTEGER ')' { $$ = $3; }
  ;

time_satisfied_field
  : '(' TIME_SATISFIED number ')' { $$ = $3; }
  ;

commitment_form
  : '(' SPECCOMMITMENT label type_field commitment_tasks_field importance_field minimum_quality_field
    earliest_start_time_field deadline_field time_satisfied_field closer
    {
      CommitmentFields fields;
      fields.type = $4; fields.importance = $6; fields.minimum_quality = $7;
      fields.earliest_start_time = $8; fields.deadline = $9; fields.time_satisfied = $10;
      commitment_form($3, fields);
    }
  | '(' SPECCOMMITMENT label type_field agent_field commitment_tasks_field importance_field minimum_quality_field
    earliest_start_time_field deadline_field time_satisfied_field closer
    {
      CommitmentFields fields;
      fields.type = $4; fields.agent = $5; fields.importance = $7; fields.minimum_quality = $8;
      fields.earliest_start_time = $9; fields.deadline = $10; fields.time_satisfied = $11;
      commitment_form($3, fields);
    }
  | '(' SPECCOMMITMENT label type_field commitment_tasks_field importance_field minimum_quality_field
    earliest_start_time_field deadline_field dont_interval_start_field dont_interval_end_field
    time_satisfied_field closer
    {
      CommitmentFields fields;
      fields.type = $4; fields.importance = $6; fields.minimum_quality = $7;
      fields.earliest_start_time = $8; fields.deadline = $9;
      fields.has_dont_interval = true; fields.dont_interval_start = $10; fields.dont_interval_end = $11;
      fields.time_satisfied = $12;
      commitment_form($3, fields);
    }
  | '(' SPECCOMMITMENT label type_field agent_field commitment_tasks_field importance_field minimum_quality_field
    earliest_start_time_field deadline_field dont_interval_start_field dont_interval_end_field
    time_satisfied_field closer
    {
      CommitmentFields fields;
      fields.type = $4; fields.agent = $5; fields.importance = $7; fields.minimum_quality = $8;
      fields.earliest_start_time = $9; fields.deadline = $10;
      fields.has_dont_interval = true; fields.dont_interval_start = $11; fields.dont_interval_end = $12;
      fields.time_satisfied = $13;
      commitment_form($3, fields);
    }
  ;

nonlocal_commitment_form
  : '(' SPECNLC label commitment_tasks_field '(' FROM_AGENT IDENT ')' '(' TO_AGENT IDENT ')'
    '(' QUALITY number_list ')' '(' TIME_DISTRIBUTION number_list ')' closer
    { nonlocal_commitment_form($3, $7, $11, $15, $19); }
  ;

/* Evaluation criteria: the 22 fields in this order. */

criteria_form
  : '(' SPEC_EVALUATION_CRITERIA label
    '(' GOODNESS_QUALITY_SLIDER number ')' { criteria_field(0, $6); }
    '(' GOODNESS_COST_SLIDER number ')' { criteria_field(1, $11); }
    '(' GOODNESS_DURATION_SLIDER number ')' { criteria_field(2, $16); }
    '(' THRESHOLD_QUALITY_SLIDER number ')' { criteria_field(3, $21); }
    '(' THRESHOLD_COST_SLIDER number ')' { criteria_field(4, $26); }
    '(' THRESHOLD_DURATION_SLIDER number ')' { criteria_field(5, $31); }
    '(' QUALITY_THRESHOLD number ')' { criteria_field(6, $36); }
    '(' COST_LIMIT number ')' { criteria_field(7, $41); }
    duration_limit_field
    '(' UNCERTAINTY_QUALITY_SLIDER number ')' { criteria_field(9, $47); }
    '(' UNCERTAINTY_COST_SLIDER number ')' { criteria_field(10, $52); }
    '(' UNCERTAINTY_DURATION_SLIDER number ')' { criteria_field(11, $57); }
    '(' THRESHOLD_CERTAINTY_QUALITY_SLIDER number ')' { criteria_field(12, $62); }
    '(' THRESHOLD_CERTAINTY_COST_SLIDER number ')' { criteria_field(13, $67); }
    '(' THRESHOLD_CERTAINTY_DURATION_SLIDER number ')' { criteria_field(14, $72); }
    '(' QUALITY_CERTAINTY_THRESHOLD number ')' { criteria_field(15, $77); }
    '(' COST_CERTAINTY_LIMIT number ')' { criteria_field(16, $82); }
    '(' DURATION_CERTAINTY_LIMIT number ')' { criteria_field(17, $87); }
    '(' META_GOODNESS_SLIDER number ')' { criteria_field(18, $92); }
    '(' META_THRESHOLD_SLIDER number ')' { criteria_field(19, $97); }
    '(' META_UNCERTAINTY_SLIDER number ')' { criteria_field(20, $102); }
    '(' META_UNCERTAINTY_THRESHOLD_SLIDER number ')' { criteria_field(21, $107); }
    closer
    { criteria_form($3); }
  ;

duration_limit_field
  : '(' DURATION_LIMIT number_text ')' { criteria_duration_limit($3, nullptr); }
  | '(' DURATION_LIMIT number_text number_text ')' { criteria_duration_limit($3, $4); }
  ;

/* Control parameters: this form ends with a plain parenthesis. */

misc_parameters_form
  : '(' SPEC_MISC_PARAMETERS label '(' TIME_TO_SCHEDULE_FOR number ')' '(' COST_ACCRUED number ')'
    '(' USE_ADVANCED_ANALYSIS INTEGER ')' '(' PRUNING_SETTING IDENT ')' ')'
    { misc_parameters_form($3, $6, $10, $14, $18); }
  ;

/* Recognised so that such text can be read; they build nothing. */

setting_value
  : %empty
  | FLOAT
  | IDENT { delete[] $1; }
  ;

setting_bundle_form
  : '(' SPECSCHEDULE_SETTING_BUNDLE label '(' QUALITY_VALUE setting_value ')'
    '(' DURATION_VALUE setting_value ')' '(' COST_VALUE setting_value ')' closer
    { setting_bundle_form($3); }
  ;

schedule_form
  : '(' SPECSCHEDULE '(' SCHEDULE_ELMT schedule_elements ')' task_quality_infos commitment_info
    '(' QUALITY number_list ')' '(' DURATION number_list ')' '(' COST number_list ')' closer
    { delete $11; delete $15; delete $19; schedule_form(); }
  ;

schedule_elements
  : schedule_element
  | schedule_elements schedule_element
  ;

schedule_element
  : '(' IDENT '(' START_TIME_DISTRIBUTION optional_number_list ')'
    '(' FINISH_TIME_DISTRIBUTION optional_number_list ')'
    '(' QUALITY number_list ')' '(' DURATION number_list ')' '(' COST number_list ')'
    '(' QUALITY_MONITORING_INFO optional_number_list ')' '(' DURATION_MONITORING_INFO optional_number_list ')' ')'
    { delete[] $2; delete $5; delete $9; delete $13; delete $17; delete $21; delete $25; delete $29; }
  ;

task_quality_infos
  : '(' TASK_QUALITY_INFOS ')'
  | '(' TASK_QUALITY_INFOS task_quality_pairs ')'
  ;

task_quality_pairs
  : IDENT number { delete[] $1; }
  | task_quality_pairs IDENT number { delete[] $2; }
  ;

commitment_info
  : '(' COMMITMENT_INFO optional_number_list ')' { delete $3; }
  ;

%%

void yyerror(const char* message) { vorna_syntax_error(message); }

const char* vorna_token_name(int token) { return yysymbol_name(YYTRANSLATE(token)); }

/*
 * velmor.h - the C interface of libvelmor, the Velmor optimisation library.
 *
 * Conventions that hold for every function unless its comment says otherwise:
 *  - Every function returns an int status: 0 (VLM_OKAY) on success, a negative
 *    VLM_ERROR_* code on failure. A failing call changes nothing: all inputs are
 *    validated before anything is modified, and batch additions are
 *    all-or-nothing. Out-arguments are written only on success.
 *  - Handles are opaque. A NULL handle, a NULL required pointer, a negative
 *    count or a NULL array of a positive length is refused with
 *    VLM_ERROR_INVALID_ARGUMENT. Running out of memory gives VLM_ERROR_NOMEMORY.
 *  - Texts are NUL-terminated UTF-8. Texts and arrays handed out by the library
 *    are owned by the library; the caller copies them and never frees them.
 *    Texts and arrays passed in are only read during the call; the library
 *    keeps copies, never the caller's pointers.
 *  - Indices, counts and starts are 32-bit ints; every index is range-checked,
 *    with the code of its kind: VLM_ERROR_MODEL_INVALID_COL_IDX (variables),
 *    _ROW_IDX (rows), _SOS_IDX, _INDICATOR_ROW_IDX (general constraints),
 *    _SYM_MAT_IDX (semidefinite variables), _SYM_MAT_ROW_IDX (a position outside
 *    a semidefinite coefficient matrix).
 *  - Values: NaN in a bound or coefficient, and an infinite coefficient, are
 *    refused with VLM_ERROR_INVALID_ARGUMENT. A bound of magnitude >=
 *    VLM_INFINITY (1e20) is infinite; infinite bounds read back as
 *    +-VLM_INFINITY. A variable type letter other than C, B, I, S, N (either
 *    case; stored upper-case), a sense other than '<', '>', '=' and a
 *    ModelSense other than 1 and -1 are refused with VLM_ERROR_MODEL_INPUT_ERROR.
 *  - Sparse input (rows, columns, members) is given as starts without a closing
 *    entry: item i spans [beg[i], beg[i+1]), the last one ends at the entry
 *    count; beg[0] is 0, starts do not decrease, and beg may be NULL when there
 *    are no entries. A column index repeated within one row (or a row index
 *    within one column) has its values summed; explicit zero coefficients are
 *    kept.
 *  - Two-call protocol of the functions that hand out arrays of unknown length:
 *    called with the arrays NULL, the function stores the entry count in *nnz
 *    (the "size call"); called with arrays, it fills them (the "fill call") and
 *    stores the count again. On the fill call *nnz must hold the capacity of
 *    the entry arrays (the count of the size call); a larger count is refused
 *    with VLM_ERROR_INVALID_ARGUMENT and nothing is written. Arrays that receive
 *    no element may be NULL on the fill call. Starts are written, one per item
 *    asked for and relative to the first, whenever the start array is given.
 *  - Threads: distinct models (and environments) may be used from distinct
 *    threads at once; one model is used by one thread at a time. What runs at
 *    the same time: building, changing, querying, reading and writing distinct
 *    models; LP solves (CLP), QP solves (the library's own interior point
 *    method) and MIQP solves (the library's own branch-and-bound over CLP).
 *    What takes turns: the Ipopt runs a QP falls back on (see "QP" under
 *    VLMoptimize; Ipopt's MUMPS keeps process-wide state), and, one run at a time in the
 *    process, because the solver underneath keeps process-wide state: MIP
 *    solves (CBC's driver, in VLMoptimize and in the MIP solves of
 *    VLMcomputeIIS; a run gives up its turn while its callback is called) and
 *    semidefinite solves (DSDP). A second thread asking for such a run waits
 *    for the first one to end. An environment's log, shared with the models
 *    made from it, takes one line at a time. While a model is being
 *    optimised, it refuses every change, a second solve, parameter changes of
 *    its environment and being freed (VLM_ERROR_INVALID_ARGUMENT); attribute
 *    reads and the VLMcb* functions remain available to its callback.
 *  - No function prints except through an environment's log, installs signal
 *    handlers, or lets a C++ exception, abort() or longjmp escape.
 *  - Rows: linear and semidefinite rows share one numbering. NumConstrs counts
 *    both; NumPsdConstrs counts the semidefinite ones.
 *  - Results: a change of the model data (bounds, objective, types, rows,
 *    coefficients, items, sense) discards the solution, the statistics and the
 *    IIS of earlier runs; names and MIP start values are no model data.
 */
#ifndef VELMOR_H
#define VELMOR_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VELMOR_BUILDING_LIBRARY)
#define VLM_API __attribute__((visibility("default")))
#else
#define VLM_API
#endif

typedef struct VLMenv VLMenv;
typedef struct VLMmodel VLMmodel;
/* A line sink (VLMsetlinesink): receives one line of a log, without its line
 * break; returns 0 when it took the line. */
typedef int (*VLMlinesink)(void* userdata, const char* line);

/* ---- constants ------------------------------------------------------------ */

#define VLM_VERSION_MAJOR 1
#define VLM_VERSION_MINOR 0
#define VLM_VERSION_TECHNICAL 0

#define VLM_INFINITY 1e20
#define VLM_UNDEFINED (-1.23457e+88)
#define VLM_MAX_NAMELEN 255
#define VLM_MAX_STRLEN 512

/* Variable types. */
#define VLM_CONTINUOUS 'C'
#define VLM_BINARY 'B'
#define VLM_INTEGER 'I'
#define VLM_SEMICONT 'S'
#define VLM_SEMIINT 'N'
/* Senses. */
#define VLM_LESS_EQUAL '<'
#define VLM_GREATER_EQUAL '>'
#define VLM_EQUAL '='
#define VLM_MINIMIZE 1
#define VLM_MAXIMIZE (-1)
#define VLM_SOS_TYPE1 1
#define VLM_SOS_TYPE2 2
#define VLM_GENCONSTR_INDICATOR 6

/* Result codes. */
#define VLM_OKAY 0
#define VLM_ERROR_ERROR (-1)
#define VLM_ERROR_NOMEMORY (-2)
#define VLM_ERROR_INVALID_ARGUMENT (-3)
#define VLM_ERROR_HOME_ENV_NOT_FOUND (-11)
#define VLM_ERROR_DLL_ERROR (-12)
#define VLM_ERROR_IO_ERROR (-1000)
#define VLM_ERROR_FILE_READ_ERROR (-1001)
#define VLM_ERROR_FILE_WRITE_ERROR (-1002)
#define VLM_ERROR_DIRECTORY_ERROR (-1003)
#define VLM_ERROR_FORMAT_ERROR (-1100)
#define VLM_ERROR_VERSION_ERROR (-1101)
#define VLM_ERROR_REMOTE_INVALID_TOKEN (-1200)
#define VLM_ERROR_REMOTE_CONNECTION_ERROR (-1201)
#define VLM_ERROR_MODEL_INPUT_ERROR (-2000)
#define VLM_ERROR_MODEL_EMPTY (-2001)
#define VLM_ERROR_MODEL_INVALID_ROW_IDX (-2002)
#define VLM_ERROR_MODEL_INVALID_COL_IDX (-2003)
#define VLM_ERROR_MODEL_INVALID_ROW_NAME (-2004)
#define VLM_ERROR_MODEL_INVALID_COL_NAME (-2005)
#define VLM_ERROR_MODEL_INVALID_SYM_MAT_IDX (-2006)
#define VLM_ERROR_MODEL_INVALID_SYM_MAT_ROW_IDX (-2007)
#define VLM_ERROR_MODEL_INVALID_SYM_MAT_COL_IDX (-2008)
#define VLM_ERROR_MODEL_INVALID_STR_ATTR (-2010)
#define VLM_ERROR_MODEL_INVALID_INT_ATTR (-2011)
#define VLM_ERROR_MODEL_INVALID_REAL_ATTR (-2012)
#define VLM_ERROR_MODEL_INVALID_REAL_ATTR_SYM_MAT (-2013)
#define VLM_ERROR_MODEL_INVALID_CHAR_ATTR (-2014)
#define VLM_ERROR_MODEL_INVALID_MAT_ATTR (-2015)
#define VLM_ERROR_MODEL_INVALID_ATTR_NAME (-2019)
#define VLM_ERROR_MODEL_INVALID_SOS_TYPE (-2020)
#define VLM_ERROR_MODEL_INVALID_SOS_IDX (-2021)
#define VLM_ERROR_MODEL_INVALID_INDICATOR_COL_IDX (-2022)
#define VLM_ERROR_MODEL_INVALID_INDICATOR_ROW_IDX (-2023)
#define VLM_ERROR_MODEL_INVALID_INT_RELAX (-2024)
#define VLM_ERROR_DATA_NOT_AVAILABLE (-2025)
#define VLM_ERROR_NO_SOLN (-3000)
#define VLM_ERROR_NO_RAY (-3001)
#define VLM_ERROR_NO_STATISTICS (-3002)
#define VLM_ERROR_INVALID_BASIS_STATUS (-3003)
#define VLM_ERROR_IIS_NO_SOLN (-3004)
#define VLM_ERROR_IIS_FEASIBLE (-3005)
#define VLM_ERROR_INVALID_SOL_IDX (-3006)
#define VLM_ERROR_PARAM_SET_ERROR (-4000)
#define VLM_ERROR_PARAM_GET_ERROR (-4001)
#define VLM_ERROR_CB_INVALID_WHERE (-5000)
#define VLM_ERROR_CB_INVALID_WHAT (-5001)
#define VLM_ERROR_CB_INVALID_SUBMISSION (-5002)
#define VLM_ERROR_ABORT_ITERATION_LIMIT (-9000)
#define VLM_ERROR_ABORT_TIME_LIMIT (-9001)
#define VLM_ERROR_ABORT_CTRL_C (-9002)
#define VLM_ERROR_ABORT_NODE_LIMIT (-9003)
#define VLM_ERROR_ABORT_STALLING_NODE_LIMIT (-9004)
#define VLM_ERROR_ABORT_SOLUTION_LIMIT (-9005)
#define VLM_ERROR_ABORT_INVALID_METHOD (-9011)
#define VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE (-9012)
#define VLM_ERROR_SIMPLEX_NUMERIC (-10000)
#define VLM_ERROR_INTERIOR_NUMERIC (-20000)
#define VLM_ERROR_IIS_NUMERIC (-30000)

/* Model statuses (int model attribute "Status"). */
#define VLM_STATUS_UNKNOWN 0
#define VLM_STATUS_OPTIMAL 1
#define VLM_STATUS_INFEASIBLE 2
#define VLM_STATUS_UNBOUNDED 3
#define VLM_STATUS_INF_OR_UBD 4
#define VLM_STATUS_SUB_OPTIMAL 5

/* Basis statuses (int attributes "ColBasis" and "RowBasis"). A row's status
 * is that of its activity: at the row's lower bound, basic, at its upper
 * bound. */
#define VLM_BASIS_LOWER 0      /* nonbasic at the lower bound */
#define VLM_BASIS_BASIC 1
#define VLM_BASIS_UPPER 2      /* nonbasic at the upper bound */
#define VLM_BASIS_SUPERBASIC 3 /* nonbasic between its bounds, or free */
#define VLM_BASIS_FIXED 4      /* nonbasic with equal bounds */

/* Attribute types and kinds reported by VLMgetattrinfo. */
#define VLM_ATTRTYPE_CHAR 0
#define VLM_ATTRTYPE_INT 1
#define VLM_ATTRTYPE_DOUBLE 2
#define VLM_ATTRTYPE_STRING 3
#define VLM_ATTRTYPE_MATRIX 4
#define VLM_ATTRKIND_MODEL 0
#define VLM_ATTRKIND_VAR 1
#define VLM_ATTRKIND_CONSTR 2
#define VLM_ATTRKIND_SOS 3
#define VLM_ATTRKIND_QCONSTR 4
#define VLM_ATTRKIND_GENCONSTR 5
#define VLM_ATTRKIND_PSDVAR 6
#define VLM_ATTRKIND_PSDCONSTR 7

/* Callback where-codes. */
#define VLM_CB_MIPSTART 3 /* after the root relaxation, before branching; once per run */
#define VLM_CB_MIPSOL 4   /* a new incumbent was found; once per incumbent */
#define VLM_CB_MIPNODE 5  /* the relaxation of a node is solved */

/* Callback what-codes for VLMcbget. The comment gives what `result` points to. */
#define VLM_CB_PRE_NUMVARS 200    /* int                                    */
#define VLM_CB_PRE_NUMCONSTRS 201 /* int                                    */
#define VLM_CB_PRE_NUMNZS 202     /* int                                    */
#define VLM_CB_PRE_LB 203         /* const double*  [PRE_NUMVARS]           */
#define VLM_CB_PRE_UB 204         /* const double*  [PRE_NUMVARS]           */
#define VLM_CB_PRE_LHS 205        /* const double*  [PRE_NUMCONSTRS]        */
#define VLM_CB_PRE_RHS 206        /* const double*  [PRE_NUMCONSTRS]        */
#define VLM_CB_PRE_OBJ 207        /* const double*  [PRE_NUMVARS]           */
#define VLM_CB_PRE_ISINT 208      /* const int*     [PRE_NUMVARS]           */
#define VLM_CB_PRE_ELEMENTS 209   /* const double*  [PRE_NUMNZS]            */
#define VLM_CB_PRE_INDICES 210    /* const int*     [PRE_NUMNZS]            */
#define VLM_CB_PRE_STARTS 211     /* const int*     [PRE_NUMVARS + 1]       */
#define VLM_CB_PRE_OBJCONST 212   /* double                                 */
#define VLM_CB_MIP_OBJBST 300     /* double                                 */
#define VLM_CB_MIP_OBJBND 301     /* double                                 */
#define VLM_CB_MIP_RELVAL 302     /* double                                 */
#define VLM_CB_MIP_SOLPRE 303     /* const double*  [PRE_NUMVARS]           */
#define VLM_CB_MIP_RELPRE 304     /* const double*  [PRE_NUMVARS]           */
#define VLM_CB_MIP_RELRDCPRE 305  /* const double*  [PRE_NUMVARS]           */
#define VLM_CB_MIP_NODCNT 306     /* int                                    */
#define VLM_CB_MIP_SOLCNT 307     /* int                                    */
#define VLM_CB_MIP_CUTCNT 308     /* int                                    */
#define VLM_CB_MIP_NODLFT 309     /* int                                    */
#define VLM_CB_MIP_NODEID 310     /* int                                    */
#define VLM_CB_MIP_DEPTH 311      /* int                                    */
#define VLM_CB_MIP_PHASE 312      /* int                                    */
#define VLM_CB_MIP_LB 313         /* const double*  [PRE_NUMVARS]           */
#define VLM_CB_MIP_UB 314         /* const double*  [PRE_NUMVARS]           */
#define VLM_CB_MIP_SOL 316        /* const double*  [NumVars = PRE_NUMVARS] */
#define VLM_CB_MIP_REL 317        /* const double*  [NumVars = PRE_NUMVARS] */

/* Answers of a callback submission (VLMcbcut, VLMcbbranch, VLMcbsolution). */
#define VLM_CB_SUBMIT_OK 0        /* accepted */
#define VLM_CB_SUBMIT_INVALID 1   /* valid but incorrect: infeasible, violates a cut, ... */
#define VLM_CB_SUBMIT_REFUSED 2   /* correct but not accepted: nothing new, no better, ... */

/* ---- environments ----------------------------------------------------------
 * An environment holds parameter settings and an optional log file. A model
 * copies its environment's parameters when it is made and keeps that copy
 * (VLMgetenv returns it): freeing an environment never invalidates a model.
 * One environment is used by one thread at a time.
 */

/* Makes an environment without a log file into *env (whatever *env holds on
 * entry is ignored). It is usable at once; VLMstartenv on it is harmless. The
 * caller owns it and frees it with VLMfreeenv. */
VLM_API int VLMemptyenv(VLMenv** env);
/* Makes an environment into *env that appends its log to `logfilename` (no log
 * file when it is empty). VLM_ERROR_FILE_WRITE_ERROR when the file cannot be
 * opened; *env is then untouched. The caller owns it (VLMfreeenv). */
VLM_API int VLMloadenv(VLMenv** env, const char* logfilename);
/* Starts an environment. Starting twice is harmless. */
VLM_API int VLMstartenv(VLMenv* env);
/* Frees an environment. Future calls using `env` are not allowed; models made
 * from it stay valid. NULL is accepted and ignored. The environment of a model
 * (VLMgetenv) is refused with VLM_ERROR_INVALID_ARGUMENT: it goes with its
 * model. */
VLM_API int VLMfreeenv(VLMenv* env);
/* The environment owned by `model` (its private copy of the parameters,
 * sharing the log of the environment the model was made on). Valid until the
 * model is freed; never free it. NULL for a NULL model. */
VLM_API VLMenv* VLMgetenv(VLMmodel* model);
/* The library's version. Always returns 0; NULL pointers are skipped. */
VLM_API int VLMversion(int* major, int* minor, int* technical);
/* A text explaining `code`, for any int (unknown codes get a generic text).
 * Where the calling thread's last call into the library failed with `code`
 * and a reason of its own, the text is the code's text with that reason
 * ("Invalid or unsupported file format: MPS has no section for indicator
 * constraints (an .lp file keeps them)"), the first time the thread asks
 * about that code before its next call.
 * Static storage: valid for the life of the process. */
VLM_API const char* VLMexplainerror(int code);
/* Writes `message` and a newline to the environment's log (the log file, if
 * any, and standard output or the environment's line sink). */
VLM_API int VLMmsg(VLMenv* env, const char* message);
/* Internal: the hook through which the velmorpy module shows the log in the
 * Python program's sys.stdout; not meant for other programs. From now on the
 * lines of `env`'s log that would go to standard output (the library's own,
 * CLP's, CBC's and DSDP's, VLMmsg's) are handed to sink(userdata, line)
 * instead, for `env` and every model made from it (also those made before
 * the call); the log file still gets every line first. A non-zero answer
 * makes the library write that line to standard output itself. NULL `sink`
 * restores standard output. The sink is called from whichever thread writes
 * to the log, a solver's own threads included, several at once, and without
 * the log's lock held; it must not throw. NULL env: VLM_ERROR_INVALID_ARGUMENT. */
VLM_API int VLMsetlinesink(VLMenv* env, VLMlinesink sink, void* userdata);

/* ---- parameters ------------------------------------------------------------
 * 27 int and 12 double parameters (VLMgetintparaminfo / VLMgetdblparaminfo
 * give each one's range and default); there are no text parameters. Names are
 * matched case-insensitively, "/" and "_" alike ("mip_gaprel" is "MIP/GapRel").
 * An unknown name, a call of another type than the parameter's, or a value
 * outside the parameter's range (NaN included) gives VLM_ERROR_PARAM_GET_ERROR
 * (getters) or VLM_ERROR_PARAM_SET_ERROR (setters) and changes nothing; a
 * parameter whose range reaches +-1e20 takes any value beyond it as +-1e20.
 * A NULL name or value pointer gives VLM_ERROR_INVALID_ARGUMENT.
 */
VLM_API int VLMsetintparam(VLMenv* env, const char* name, int value);
VLM_API int VLMsetdblparam(VLMenv* env, const char* name, double value);
/* Always VLM_ERROR_PARAM_SET_ERROR (no text parameters exist). */
VLM_API int VLMsetstrparam(VLMenv* env, const char* name, const char* value);
VLM_API int VLMgetintparam(VLMenv* env, const char* name, int* value);
VLM_API int VLMgetdblparam(VLMenv* env, const char* name, double* value);
/* Would copy a text value into `value`, a caller's buffer of VLM_MAX_STRLEN
 * bytes; always VLM_ERROR_PARAM_GET_ERROR (no text parameters exist). */
VLM_API int VLMgetstrparam(VLMenv* env, const char* name, char* value);
/* The current value, range and default. The out-pointers may be NULL (skipped)
 * and may alias each other: each is written once, current first and default
 * last, and none is read. */
VLM_API int VLMgetintparaminfo(VLMenv* env, const char* name, int* current, int* minimum, int* maximum,
                               int* defval);
VLM_API int VLMgetdblparaminfo(VLMenv* env, const char* name, double* current, double* minimum,
                               double* maximum, double* defval);
/* `current` and `defval`: caller's buffers of VLM_MAX_STRLEN bytes. Always
 * VLM_ERROR_PARAM_GET_ERROR (no text parameters exist). */
VLM_API int VLMgetstrparaminfo(VLMenv* env, const char* name, char* current, char* defval);
/* Resets every parameter to its default. */
VLM_API int VLMresetparams(VLMenv* env);
/* Reads a parameter file: one "Name value" per line, names matched as above,
 * "#" starts a comment, blank lines are skipped; parameters the file does not
 * list keep their values. A file that cannot be read (a name ending in .gz or
 * .bz2 is decompressed) gives VLM_ERROR_FILE_READ_ERROR; a malformed line, an
 * unknown name or a value the parameter refuses gives VLM_ERROR_FORMAT_ERROR;
 * either way no parameter changes. */
VLM_API int VLMreadparams(VLMenv* env, const char* filename);
/* Writes every parameter that differs from its default, in that format, with
 * values that read back exactly. VLM_ERROR_FILE_WRITE_ERROR when the file
 * cannot be written. */
VLM_API int VLMwriteparams(VLMenv* env, const char* filename);

/* ---- models ------------------------------------------------------------- */

/* Makes a model named `name` (NULL: no name) on a private copy of `env`'s
 * parameters into *model, with `numvars` variables described as in VLMaddvars
 * (each array may be NULL). The caller owns it and frees it with VLMfreemodel;
 * on failure *model is untouched. */
VLM_API int VLMnewmodel(VLMenv* env, VLMmodel** model, const char* name, int numvars, const double* obj,
                        const double* lb, const double* ub, const char* vtype, const char* const* varnames);
/* A deep copy of `model` (data, MIP start, starting basis, parameters; no
 * solution, no callback), or NULL when it cannot be made. The copy is independent of
 * `model` and of its environment; the caller owns it (VLMfreemodel). */
VLM_API VLMmodel* VLMcopymodel(VLMmodel* model);
/* Frees a model and its environment. Future calls using `model` are not
 * allowed. NULL is ignored. */
VLM_API int VLMfreemodel(VLMmodel* model);
/* Reads a model file into a new model made on a private copy of `env`'s
 * parameters, into *model (owned by the caller). The format follows the
 * suffix, case-insensitively: .mps and .qps (free MPS, or fixed MPS when the
 * text does not read as free: ROWS, COLUMNS with integer markers, RHS with
 * the objective constant as the negated right-hand side of the objective
 * row, RANGES, BOUNDS, OBJSENSE, QUADOBJ or QMATRIX, SOS), .lp (everything
 * VLMwrite writes there: objective sense, constant and quadratic terms, rows,
 * range and constant columns, indicator constraints, Bounds, Generals, Binaries,
 * Semi-continuous and SOS sections; and the common spellings of hand-written
 * files: "\" comments, rows and terms over several lines, implicit
 * coefficients, constants on either side of a row, ranged rows
 * "lb <= expr <= ub", keywords in any case. Columns are numbered in order of
 * first appearance; a row without a name is named R<i>, an indicator G<k>,
 * i and k their indices, made unique),
 * .cbf (conic benchmark format: linear and semidefinite rows, semidefinite
 * variables, integer variables), .dat-s (SDPA sparse format: the dual of
 * SDPA's problem min c'x subject to sum x_k F_k - F_0 positive
 * semidefinite, that is maximise <F_0, Y> subject to <F_k, Y> = c_k for
 * k = 1 .. m, Y positive semidefinite: a semidefinite variable for each
 * block, a nonnegative column for each entry of a diagonal block (negative
 * size), row k the equality with c_k, whose DualSoln is x_k; the optimum is
 * SDPA's, with its sign; no names). A further .gz or .bz2 decompresses.
 * Another suffix or a malformed file gives VLM_ERROR_FORMAT_ERROR, a file
 * that cannot be read VLM_ERROR_FILE_READ_ERROR. */
VLM_API int VLMreadmodel(VLMenv* env, const char* filename, VLMmodel** model);
/* Reads into an existing model: .prm (parameters, as VLMreadparams on
 * VLMgetenv(model)), .mst (MIP start: "name value" lines, names as VLMwrite
 * writes them; the file replaces the whole start, variables it does not list
 * have none) or .bas (a basis in the MPS basis format, as VLMwrite writes it
 * and CLP reads it: records XU and XL (the column basic, the row nonbasic at
 * its upper or lower side), UL and LL (the column nonbasic at its upper or
 * lower bound), BS (the column basic), each with an optional placeholder
 * and an optional value, which is not used; a column without a record is
 * nonbasic at its lower bound, a row basic; names as in the model's MPS
 * file, each at most once. It becomes the starting basis of the model's next
 * solve, if that is a simplex solve of an LP, without CLP's presolve (the
 * solve after it starts as ever): a nonbasic status at an
 * infinite bound stands for the other bound, or for a free nonbasic; a basis
 * whose sizes no longer match the model's is not used, nor by the barrier).
 * Model formats and other suffixes are refused with
 * VLM_ERROR_FORMAT_ERROR (a model file makes a new model: VLMreadmodel). A
 * malformed file (an unknown variable name included) gives
 * VLM_ERROR_FORMAT_ERROR and changes nothing. */
VLM_API int VLMread(VLMmodel* model, const char* filename);
/* Writes by suffix (case-insensitive, optionally followed by .gz or .bz2):
 *  .mps, .qps  the model as MPS (sections as for VLMreadmodel; OBJSENSE only
 *              for a maximisation), in the fixed-column layout when every
 *              name has at most 8 characters, else in free format; a binary
 *              as BV, with its bounds cut to [0, 1] as a solve cuts them;
 *  .lp         the model as LP, with quadratic objective terms as
 *              "[ ... ] / 2", indicator constraints as
 *              "name: b = 1 -> expr <= rhs", and a ranged or free row, or one
 *              without coefficients, as "name: expr - r = 0" with a range
 *              column r that carries the row's bounds (marked by a comment
 *              line "\ Range column: r"), the objective's constant as the
 *              coefficient of a column fixed at 1 (marked by "\ Constant
 *              column: c"); other LP readers take the file as the same model
 *              with those columns more; VLMreadmodel reads the model back as
 *              it was, binaries' bounds cut to [0, 1], under the names
 *              written;
 *  .cbf        the model as CBF; a ranged row and bounds other than 0 or
 *              infinite become further rows after the model's rows; the
 *              format has no names;
 *  .sol        the solution: "# Objective value = v", then "name value" per
 *              variable (VLM_ERROR_NO_SOLN without one);
 *  .bas        the basis of the last run (a simplex solve of an LP, or a
 *              barrier solve with crossover), as VLMread reads it: a NAME
 *              line, each basic column with the next nonbasic row in order
 *              (XU for a row at its upper side, else XL), BS for a basic
 *              column left over, UL for a column at its upper bound (these
 *              two with the placeholder "_dummy_" in the row's field,
 *              without which CLP's reader skips them), ENDATA; names as in
 *              the .mps file of the model; without a basis VLM_ERROR_NO_SOLN
 *              (no solution) or VLM_ERROR_DATA_NOT_AVAILABLE, whose text
 *              says there is no basis to write;
 *  .prm        the parameters, as VLMwriteparams;
 *  .mst        the MIP start: "name value" per variable that has a start.
 * Names that cannot stand in a file as they are (empty, with blanks or quotes,
 * repeated; in MPS files longer than 128 characters, starting with "$" or a
 * lone sign; in LP files longer than 100 characters, LP keywords, or not
 * starting with a letter or "_") are written as C<j> (variables), R<i>
 * (rows), G<k> (indicators), made unique. A model the format cannot express
 * is refused with VLM_ERROR_FORMAT_ERROR: MPS and LP take no semidefinite
 * items, MPS no indicators or rows with lb > ub, CBF no quadratic objective,
 * SOS, indicators or semi-continuous variables (for semidefinite items and
 * indicators the error's text, VLMexplainerror, names the format that keeps
 * them). Another suffix (.dat-s among them) gives VLM_ERROR_FORMAT_ERROR; a
 * file that cannot be written VLM_ERROR_FILE_WRITE_ERROR. */
VLM_API int VLMwrite(VLMmodel* model, const char* filename);
/* Discards the solution and the statistics of earlier runs; clearall 1 also
 * discards the IIS, the MIP start and the starting basis. clearall other than 0 and 1:
 * VLM_ERROR_INVALID_ARGUMENT. */
VLM_API int VLMreset(VLMmodel* model, int clearall);
/* Solves the model. Calls the registered callback, if any, from the calling
 * thread. Returns 0 once a run ended (whatever the status),
 * VLM_ERROR_ABORT_CTRL_C (or the callback's other non-zero answer) when the
 * callback stopped it, or an error code. A model being optimised refuses a
 * second run (VLM_ERROR_INVALID_ARGUMENT); runs on distinct models may be
 * started from distinct threads at once, and LP, QP and MIQP runs then
 * proceed side by side while MIP and semidefinite runs take turns (see
 * "Threads" in the conventions).
 *
 * The solver follows the content: a linear model with continuous variables
 * is an LP (CLP), a quadratic objective without discrete part a QP (the
 * library's sparse interior point method, see "QP" below); a discrete part
 * (integer, binary, semi-continuous, semi-integer variables, SOS,
 * indicators) makes a MIP (CBC), or with a quadratic objective a MIQP
 * (branch-and-bound whose relaxations CLP's quadratic primal solves from the
 * parent's basis, each answer checked as for a QP at IPM/PrimalTolerance,
 * IPM/DualTolerance and IPM/GapTolerance or 1e-6, whichever is looser; one it
 * does not settle within max(1000, 5 (columns + rows)) pivots, or whose check fails,
 * goes to the interior point method). Indicators and semi-continuous variables are
 * reformulated with a big-M row when the bounds each term grows towards are
 * finite (z = 1 -> x >= 5 over x in [0, infinity) takes M = 5) and M does
 * not exceed MIP/LinearizationBigM, else exactly with an SOS1 set; an SOS1
 * set of binaries becomes the row "the sum of its members <= 1". What that
 * adds is invisible in counts, attributes and files.
 * Refused with VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE (status UNKNOWN, no
 * solution): a quadratic objective that is not convex in the direction of
 * optimisation, and semidefinite models with a discrete part or quadratic
 * objective terms. Convex means: the Hessian H plus 1e-5 times the diagonal
 * of its rows' absolute sums factorises (sparse LDL') with positive pivots,
 * so a semidefinite matrix whose entries were rounded passes; a Hessian too
 * large to factorise in memory is refused with VLM_ERROR_NOMEMORY. Numerical failure of the simplex or barrier:
 * VLM_ERROR_SIMPLEX_NUMERIC / _INTERIOR_NUMERIC.
 *
 * LP verdicts are checked on the model as given. An optimum stands when no
 * column with an infinite bound lies at CLP's large stand-in bound and
 * (after a simplex or a crossover) it and its multipliers meet the model to
 * 1e-6 in each of the primal, dual and gap measures of "QP" below;
 * otherwise the other simplex method solves the model again. An optimum
 * that fails again is cleaned up from its basis by a simplex run without
 * presolve and without scaling, at primal and dual tolerances of 1e-7 (or
 * the SPX tolerances, when tighter): CLP applies its tolerances to the
 * scaled model, so that a scaled column can break a bound by many times
 * SPX/PrimalTolerance on the model as given. The cleaned-up optimum stands
 * when it passes the check (a cleanup that finds a ray is judged as CLP's
 * unboundedness below); otherwise the status is SUB_OPTIMAL, X and
 * ObjVal those of the best point met whose primal measure is within 1e-6
 * (DualSoln, RC and DualObjVal too when its dual measure is), and UNKNOWN
 * without a solution when no point met is. A model with a row or a column
 * of more than 20,000 entries is solved without CLP's presolve, whose steps
 * (like CLP's LU factorisation and its barrier's normal equations) take
 * time that grows with the square of such a line's length without a look
 * at MaxTime: Method -1 and 2 solve it by the interior point method of
 * "QP" below (its statuses and measures; no ColBasis or RowBasis), Method 0
 * and 1 by CLP's simplex, which looks at MaxTime every iteration (a
 * refactorisation on such lines may still take long).
 * INFEASIBLE stands on a Farkas certificate: CLP's ray, checked, or else the
 * multipliers of the elastic problem (every row side may be violated at unit
 * cost), whose optimum may show a point instead; UNBOUNDED once a point
 * meets the model as given and an LP over the recession cone (within the
 * box [-1, 1]) finds a direction along which the objective falls, checked
 * against every bound and row side (else no verdict). A row without coefficients whose sides exclude 0 makes the
 * model infeasible before any solver runs; a failed or diverging barrier
 * run is repeated by the dual simplex.
 *
 * MIP runs hand CBC's driver SPX/PrimalTolerance, SPX/DualTolerance,
 * MIP/IntegerTolerance and MIP/ObjectiveTolerance only when they differ from
 * their defaults: at their defaults CBC's own values hold (1e-7 each for the
 * three tolerances, and an objective increment CBC derives from the
 * objective's coefficients). The limits, the cutoff and the MIP/Level*,
 * NumThreads, Presolve, MIP/RootParallelism and MIP/AutoConfiguration
 * settings reach it only when set; MIP/GapAbs, MIP/GapRel (the stopping
 * rule) and MIP/SolutionPoolSize always do. Where Debian's CBC 2.10 fails
 * (crashes), settings reach it changed, each change stated in the log:
 * MIP/AutoConfiguration 1 is CBC's aggressive strategy with its restart on a
 * reduced model tried after the root node instead of before it;
 * MIP/RootParallelism k > 1 makes min(k, 8) passes over the root node with
 * different random seeds, whose cuts and solutions the search starts from,
 * run one after another on the search's thread (each adds about one root
 * node's time; NumThreads threads then share the tree search); NumThreads
 * beyond 99 gives 99 search threads. Models with SOS sets (indicators and
 * semi-continuous variables in their exact form among them) are searched by
 * strong branching alone, without CBC's pseudo-cost branching, and without
 * probing. A search without CBC's preprocessing (Presolve 0, a callback) of
 * a model without SOS sets gives each integer column unbounded on a side a
 * bound there of 10^4 times the model's scale (its largest coefficient, and
 * the bounds, sides and values its rows imply), as the preprocessing bounds
 * such columns; a callback still reads the side as infinite (MIP_LB/MIP_UB),
 * and the verdict is checked on the model's own bounds. The root relaxation
 * is solved by the dual simplex (Method 0: the primal). Explicit zero coefficients the model keeps (a dense matrix's
 * zeros, x - x) are not handed to any solver; getA, the rows and NumNZs
 * still show them.
 *
 * MIP verdicts are checked, because CBC's preprocessing, cut generators
 * and postprocessing have each been seen to be wrong on small models:
 *  - a point counts only when it meets the model as given: every bound,
 *    row side and indicator to 1e-6 relative to max(1, |side|, the row's
 *    largest |a_ij x_j|), integrality, SOS sets and semi-continuity to
 *    MIP/IntegerTolerance. A best point that misses, or whose objective
 *    changed when CBC mapped it back from its preprocessed model, has the
 *    model searched again by a second search (without CBC's preprocessing,
 *    and without its cut generators where the first search had no
 *    preprocessing); a point of the MIQP search that misses is settled
 *    (its discrete part fixed, the rest solved again) and reported
 *    SUB_OPTIMAL.
 *  - OPTIMAL: where a column is unbounded on a side, the relaxation's
 *    directions are looked at first (CBC's preprocessing bounds free columns
 *    of its own accord), by one LP over the relaxation's recession cone: one
 *    along which the objective falls makes the verdict UNBOUNDED's, as below. Then the second search looks for a
 *    solution better than the optimum by more than MIP/GapAbs and MIP/GapRel, without cut generators and
 *    heuristics, within a budget of work (simplex iterations, strong branching's among them, and nodes:
 *    a twentieth of the first search's, 1,000 at least, in proportion less beyond 2,000 rows and
 *    columns), which is the same on every machine, loaded or
 *    not. Ending within it without one confirms the optimum; finding one proves the first search wrong,
 *    and the second search then runs to its end and gives the answer. An optimum the second search
 *    cannot confirm within its budget is the first search's: the check costs about a twentieth of the
 *    solve, and on a small model a few hundredths of a second at most.
 *  - INFEASIBLE stands on a Farkas certificate of the relaxation, on rows of
 *    integer columns that leave no integer point (below), or on the second
 *    search finding no point either (within as much work again as the first
 *    search's, 20,000 at least; else status UNKNOWN).
 *  - UNBOUNDED stands on a point that meets the model and a direction of the
 *    relaxation, found by an LP over its recession cone and checked, along
 *    which the objective falls (with SOS sets, of the piece of the model the
 *    point lies in). Where only another piece could be unbounded, a
 *    branch-and-bound that branches on an SOS set wherever a relaxation is
 *    unbounded searches the model: its optimum is the answer, or UNBOUNDED
 *    where it ends at a node that settles every SOS set, holds a point of
 *    the model and has such a direction; else the best point found is
 *    reported SUB_OPTIMAL.
 * Before the search, a row whose columns are all integer (binary, integer,
 * semi-integer) or fixed, with coefficients that are integers once scaled
 * by a power of two up to 1024, has each side moved in to the next
 * activity an integer point gives it (a multiple of the greatest common
 * divisor of its coefficients past the fixed columns' terms: 2x + 4y >= 3
 * becomes 2x + 4y >= 4); a side within a millionth of that divisor (and of
 * max(1, |side|)) of such an activity takes it (3.0000000001 is 3). The search, its relaxation
 * (whose Farkas certificate then proves the model infeasible) and the
 * callback's presolved model take those sides; points are checked, and
 * Activity reported, on the model as given. The model is
 * infeasible without a search, the log naming the rows, when a row's
 * rounded sides cross (2x + 4y = 3), when rows with the same coefficients
 * up to a factor meet their rounded sides nowhere, or when a continuous
 * column that is the one continuous column of an equality and of another
 * row, eliminated between them, leaves a row of integer columns with no
 * such activity between its sides. computeIIS asks its MIP questions on
 * the sides so rounded, its LP relaxations on the sides as given.
 * A second search that finds a better point and then, run to its end,
 * ends worse than that point (or without one) disproves itself: the point
 * is reported SUB_OPTIMAL. The MIQP search's verdicts are checked the same
 * way, but for OPTIMAL. With a callback (and no stop by it), the model
 * searched is the model as given with the callback's accepted cuts as rows
 * (those of integer columns on their lattice too), and every check above,
 * the second search included, is made on that model: a reported point meets
 * it, OPTIMAL is confirmed on it (not on a MIQP, whose optimum is the
 * search's), INFEASIBLE stands on its evidence.
 * CBC gets a range row (both sides finite) as two one-sided rows (its
 * probing has cut an optimum off a range row), or as one where the column
 * bounds imply the other side.
 *
 * QP: Method -1 (the default) and 2 run a primal-dual interior point method
 * (Mehrotra's predictor-corrector with Gondzio's centrality correctors on
 * the regularised KKT system, factorised by a supernodal sparse LDL' over an
 * approximate minimum degree order, each solve refined by GMRES against the
 * unregularised system, the problem scaled by Ruiz equilibration and, where
 * a bound or side stays beyond 1e4, by a common factor on the columns that
 * brings the largest to 1e3; the regularisation, 1e-8, shrinks
 * with the complementarity down to 1e-12 as in proximal interior point
 * methods, and no further once GMRES gains nothing on its factors); iterates that meet the tolerances in the measures relative to
 * 1 + ... below are polished: the bounds and rows they hold active are made
 * equalities and that problem is solved directly, the set corrected by its
 * multipliers' signs and its crossed bounds a few times. Method 0 and 1 run
 * CLP's quadratic primal simplex first (its dual simplex takes no quadratic
 * objective) and keep its answer only when it passes the check below, else
 * the interior point method runs. Where the interior point method stalls (a
 * primal or dual measure that no longer falls with the complementarity, or
 * no progress), a best point within a hundred times the tolerances ends
 * SUB_OPTIMAL; otherwise Ipopt (with MUMPS, ordered by QAMD) solves the
 * model again, for as long as it progresses (its infeasibility falls
 * tenfold in 150 iterations), its answer held to the same check. A model
 * whose factorisation is too large ends with
 * VLM_ERROR_NOMEMORY. A point x with row multipliers y (reduced costs
 * d = c + Hx - A'y in the minimised sense) is measured on the model as
 * given:
 *  - primal: the largest violation of a bound or row side, each relative to
 *    max(1, |side|, the largest |a_ij x_j| of the row);
 *  - dual: the largest multiplier of the wrong sign (d_j > 0 without lower
 *    bound, d_j < 0 without upper bound, y_i > 0 without lower side, y_i < 0
 *    without upper side; a row's times its largest |a_ij|), relative to the
 *    smaller of 1 + G and max(G, 1e-6), G the largest |c_j|, |(Hx)_j|,
 *    |(A'y)_j|;
 *  - gap: the sum of |multiplier| times the distance to the side it prices,
 *    relative to the smaller of max(1, |ObjVal|) and max(1e-6, T), T the
 *    largest of |objective|, |c'x| and x'Hx/2 (without the constant).
 * (MIQP relaxations take the dual relative to 1 + G and the gap relative to
 * 1 + T.) Status: OPTIMAL when the three are within IPM/PrimalTolerance,
 * IPM/DualTolerance and IPM/GapTolerance (default 1e-8 each); X, DualSoln,
 * RC, ObjVal and DualObjVal are that point's. At the defaults an OPTIMAL
 * ObjVal is within about 1e-7 max(1, |optimum|) of the optimum, and within
 * about 1e-7 of its own size where the objective's terms are all small (a
 * variance): the gap bounds that distance for a point that keeps its rows
 * and prices them with multipliers of the right sign, and the primal and
 * dual tolerances allow little more. INFEASIBLE on a certificate:
 * multipliers y whose column multipliers -A'y price only finite bounds (or
 * infinite ones beyond 1e8 times the largest finite bound or side), with the
 * sides and bounds they price adding up to a positive value, or CLP's
 * simplex finding the rows infeasible; HasDualRay 1 for the former.
 * UNBOUNDED on a direction d with Hd = 0 and c'd < 0 that no bound or row
 * side stops (each within 1e-7 of |d|), once a feasible point is known;
 * HasPrimalRay 1. Otherwise (a limit, IPM/MaxIterations, or both methods
 * stalled) SUB_OPTIMAL with the best point met when its primal measure is
 * within 1e-6 (or IPM/PrimalTolerance, when looser), its duals readable when
 * the dual measure relative to 1 + G is within 1e-6 too; else UNKNOWN
 * without a solution. ColBasis and RowBasis are not available after the
 * interior point method.
 * IPM/NumIters counts its iterations and Ipopt's.
 *
 * Semidefinite models (DSDP, an interior-point method) are judged by the
 * point the run ends on, measured on the model itself: primal infeasibility
 * (row activities and column values outside their bounds, relative to 1 +
 * |bound|; a matrix X needing more than tol * (1 + its largest entry) added
 * to its diagonal to be positive definite), dual infeasibility (the multiple
 * of the identity the dual matrix needs, relative to 1 + the largest
 * objective coefficient) and the relative gap |ObjVal - DualObjVal| /
 * (1 + |ObjVal| + |DualObjVal|). The tolerances are IPM/PrimalTolerance,
 * IPM/DualTolerance and IPM/GapTolerance; each left at its default (1e-8,
 * meant for the barrier of LP and QP) stands for 1e-6 here. Status:
 *  - OPTIMAL: all three within their tolerances; X, PsdX, ObjVal, DualSoln,
 *    RC and DualObjVal readable;
 *  - SUB_OPTIMAL: the run ended without meeting them (a limit, or the method
 *    stalled), on a point primal feasible within 1e-5 (or the primal
 *    tolerance, when looser): X, PsdX and ObjVal readable, and the dual
 *    values too when it is dual feasible within 1e-5 (or the dual
 *    tolerance), so that ObjVal and DualObjVal bracket the optimum;
 *  - INFEASIBLE, UNBOUNDED, INF_OR_UBD: DSDP's verdict on the data as scaled
 *    for it (bounds that contradict each other are found before it runs);
 *  - UNKNOWN: no point feasible within the loose tolerance; no solution.
 * When a run stalls short of OPTIMAL before a limit, it is repeated, within
 * the iterations IPM/MaxIterations left: at the requested gap rather than a
 * hundredth of it, then on the data without scaling; the best point of the
 * attempts is kept and IPM/NumIters counts them all. Semidefinite runs take
 * turns (see "Threads").
 *
 * Every run starts by discarding the previous results, then sets Status:
 * OPTIMAL (MIP: within MIP/GapAbs or MIP/GapRel), INFEASIBLE, UNBOUNDED,
 * INF_OR_UBD (when the solvers cannot tell which), SUB_OPTIMAL (a limit
 * stopped the run with a feasible solution, which is readable) or UNKNOWN (a
 * limit stopped it without one, or a MIP/Cutoff left no solution; for a QP
 * see "QP" above). Limits:
 * MaxTime (wall clock), SPX/MaxIterations, IPM/MaxIterations, MIP/MaxNodes,
 * MIP/MaxSols, MIP/MaxStallingNodes (nodes without a better incumbent).
 * Results: X, Activity and ObjVal (the user's sense, constant included) with
 * a solution; DualSoln, RC and DualObjVal for LP and QP (c = A'y + rc in the
 * objective as stated, for either sense); ColBasis/RowBasis after a simplex
 * or a crossover; MIP/GapAbs, MIP/GapRel and the pool (SolCount, Xn, best
 * first, at most MIP/SolutionPoolSize) for MIP and MIQP; HasPrimalRay for an
 * unbounded LP whose solver produced a ray, HasDualRay for an infeasible LP
 * proved by a Farkas certificate; SPX/NumIters, IPM/NumIters and the times after every
 * run. The log (sizes, progress of long searches, a summary and the solvers'
 * own messages) goes to the environment's log.
 * With a callback registered (VLMsetcallbackfunc), MIP and MIQP runs give it
 * its turns (see "callbacks" below); when it answers non-zero the run stops
 * and returns that answer, with Status and results as after a limit. */
VLM_API int VLMoptimize(VLMmodel* model);
/* Computes an irreducible inconsistent subsystem of an infeasible model: a set
 * of sides of variable bounds and rows (a lower or an upper side each) that
 * is infeasible with the rest of the model and feasible once any one of them
 * is dropped. Integrality, SOS, indicators, the ranges of semi-continuous
 * variables and the objective are no candidates (they stay in force). Read
 * back through IISVar/IISConstr (and IISCol/IISRow): 1 the lower side (a
 * row's LHS) belongs, 2 the upper side (RHS), 3 both, 0 not a member.
 * Linear models, and LP relaxations of discrete ones, go through an elastic
 * and a deletion filter over CLP; for discrete models a deletion filter with
 * MIP solves (each stopped at the first solution) makes the set irreducible
 * for the model itself; a side whose removal a MIP solve cannot decide within
 * half a second stays in the set (the log says so). The registered callback
 * takes turns in the MIP solves; a non-zero answer ends the computation with
 * that answer. VLM_ERROR_IIS_FEASIBLE for a feasible model,
 * VLM_ERROR_IIS_NO_SOLN when MaxTime stopped it, VLM_ERROR_IIS_NUMERIC when
 * the solver contradicts itself, VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE for a
 * semidefinite model; the model refuses changes meanwhile, like a solve. An
 * earlier IIS is discarded first; the solution of an earlier solve stays. */
VLM_API int VLMcomputeIIS(VLMmodel* model);
/* Tidies the integrality data without renumbering anything: the bounds of
 * integer, binary and semi-integer variables are rounded inward to integers
 * (a bound within MIP/IntegerTolerance of an integer becomes it) and those of
 * binaries kept within [0, 1]. *result receives how many bounds changed.
 * Refused with VLM_ERROR_INVALID_ARGUMENT while the model is being optimised. */
VLM_API int VLMcleanupmilp(VLMmodel* model, int* result);

/* ---- building a model ------------------------------------------------------
 * New items are appended after the existing ones and numbered on from them.
 */

/* Appends one column: `nnz` coefficients in rows `rowind` (NULL arrays when
 * nnz is 0). `name` may be NULL (no name). Codes: a row index outside the
 * rows, _ROW_IDX; the value checks of the conventions. */
VLM_API int VLMaddvar(VLMmodel* model, int nnz, const int* rowind, const double* rowval, double obj, double lb,
                      double ub, char vtype, const char* name);
/* Appends `numvars` columns. Columns are given in column-start form (numnz 0
 * and NULL arrays for none). obj, lb, ub, vtype and varnames may each be NULL,
 * giving every variable the default: objective 0, bounds [0, infinity),
 * continuous, no name; a NULL entry of varnames is no name. A binary
 * variable's bounds are kept as given; solvers intersect them with [0, 1]. */
VLM_API int VLMaddvars(VLMmodel* model, int numvars, int numnz, const int* colbeg, const int* colind,
                       const double* colval, const double* obj, const double* lb, const double* ub,
                       const char* vtype, const char* const* varnames);
/* Appends one row lb <= a.x <= ub (the columns need no starts). `name` may be
 * NULL. A column index outside the variables gives _COL_IDX. */
VLM_API int VLMaddrangeconstr(VLMmodel* model, int nnz, const int* colind, const double* colval, double lb,
                              double ub, const char* name);
/* Appends `numconstrs` rows. lb or ub NULL: that side is infinite for every
 * row. `names` NULL: no names; an entry may be NULL too. */
VLM_API int VLMaddrangeconstrs(VLMmodel* model, int numconstrs, int nnz, const int* rowbeg, const int* colind,
                               const double* colval, const double* lb, const double* ub,
                               const char* const* names);
/* Adds qval[k] * x[qrow[k]] * x[qcol[k]] to the objective, for k < numqnz.
 * Repeated and mirrored pairs are summed into one term per unordered pair; a
 * term whose sum is 0 is dropped. Indices outside the variables: _COL_IDX. */
VLM_API int VLMaddqpterms(VLMmodel* model, int numqnz, const int* qrow, const int* qcol, const double* qval);
/* Removes every quadratic objective term. */
VLM_API int VLMdelq(VLMmodel* model);
/* Appends `numsos` SOS constraints: types[i] (VLM_SOS_TYPE1/2, else
 * VLM_ERROR_MODEL_INVALID_SOS_TYPE), members ind[beg[i] ...] (distinct
 * variables, else VLM_ERROR_INVALID_ARGUMENT) with finite weights. An SOS may
 * have no members. */
VLM_API int VLMaddsos(VLMmodel* model, int numsos, int nnz, const int* types, const int* beg, const int* ind,
                      const double* weight);
/* Appends an indicator constraint: when x[binvar] == binval, the row
 * sum(colval[k] * x[colind[k]]) sense rhs must hold. `binvar` must be a binary
 * variable (else VLM_ERROR_MODEL_INVALID_INDICATOR_COL_IDX, as for an index
 * outside the variables); binval 0 or 1 (else VLM_ERROR_INVALID_ARGUMENT);
 * `name` may be NULL. */
VLM_API int VLMaddgenconstrIndicator(VLMmodel* model, const char* name, int binvar, int binval, int nnz,
                                     const int* colind, const double* colval, char sense, double rhs);
/* Appends a dim x dim positive-semidefinite variable (1 <= dim <= 46340, else
 * VLM_ERROR_INVALID_ARGUMENT) whose objective coefficient matrix has the
 * entries objval[k] at flat positions objind[k] (row * dim + column; outside
 * the matrix: _SYM_MAT_ROW_IDX). See "Coefficient matrices" below. */
VLM_API int VLMaddpsdvar(VLMmodel* model, int dim, int nnz, const int* objind, const double* objval,
                         const char* name);
/* Appends a semidefinite row
 *   lb <= sum(linval[k] * x[linind[k]]) + sum_j <C_j, X[psdvarind[j]]> <= ub
 * where C_j has the entries psdval[psdbeg[j] ...] at flat positions psdind[...]
 * (row * dim + column of that variable). The npsd variables must be distinct
 * (else VLM_ERROR_INVALID_ARGUMENT) and exist (else _SYM_MAT_IDX). A row
 * without semidefinite terms (npsd 0) still counts as semidefinite. */
VLM_API int VLMaddrangepsdconstr(VLMmodel* model, int nlin, int npsd, int nnz, const int* linind,
                                 const double* linval, const int* psdvarind, const int* psdbeg, const int* psdind,
                                 const double* psdval, double lb, double ub, const char* name);
/* Coefficient matrices of semidefinite variables and rows arrive as lists of
 * (flat position, value) in hand-off order, possibly listing both triangles.
 * The library reads them as a symmetric matrix the way the module evaluates
 * them: each listed non-zero entry is stored at its position and at the
 * mirrored one, a later entry overwriting an earlier one at either position;
 * entries of value 0 are ignored. So [[1, 2], [3, 4]] listed as it stands is
 * [[1, 3], [3, 4]], and the upper triangle [[1, 2], [0, 3]] is [[1, 2], [2, 3]].
 * <C, X> is the sum over all positions of C[r][c] * X[r][c]. Read back, a
 * matrix lists each stored position of both triangles once, row-major. */

/* Sets cnt coefficients, in order: a[rowind[k], colind[k]] = val[k] (0 removes
 * it; a later change of the same coefficient wins). */
VLM_API int VLMchgcoeffs(VLMmodel* model, int cnt, const int* rowind, const int* colind, const double* val);
/* Delete the listed items (in any order; an index listed twice counts once)
 * and renumber the survivors densely in their order; every reference to a
 * survivor (rows, SOS, indicators, quadratic terms) follows. Deleting a
 * variable removes its coefficients and its quadratic terms; an SOS or
 * indicator row that refers to it loses that member or term. A variable that
 * is the binary of an indicator cannot be deleted while the indicator exists
 * (VLM_ERROR_MODEL_INVALID_INDICATOR_COL_IDX): delete the indicator first.
 * Deleting rows deletes linear and semidefinite rows alike. Index codes:
 * _COL_IDX, _ROW_IDX, _SOS_IDX, _INDICATOR_ROW_IDX. */
VLM_API int VLMdelvars(VLMmodel* model, int num, const int* ind);
VLM_API int VLMdelconstrs(VLMmodel* model, int num, const int* ind);
VLM_API int VLMdelsos(VLMmodel* model, int num, const int* ind);
VLM_API int VLMdelgenconstrs(VLMmodel* model, int num, const int* ind);

/* ---- queries ---------------------------------------------------------------
 * Arrays are the caller's; the functions with arrays of unknown length follow
 * the two-call protocol (see the conventions): `beg` receives `count` starts
 * relative to the first item asked for, no closing entry (the caller adds
 * *nnz as the closing start when it wants one).
 */
/* *val: the coefficient of row `row` and column `col`, 0 when there is none. */
VLM_API int VLMgetcoeff(VLMmodel* model, int row, int col, double* val);
/* Columns first .. first+count-1: rows and coefficients, by ascending row.
 * A range outside the variables gives _COL_IDX. */
VLM_API int VLMgetvars(VLMmodel* model, int* nnz, int* beg, int* ind, double* val, int first, int count);
/* Rows first .. first+count-1 (linear coefficients of linear and semidefinite
 * rows): columns and coefficients, by ascending column. A range outside the
 * rows gives _ROW_IDX. */
VLM_API int VLMgetconstrs(VLMmodel* model, int* nnz, int* beg, int* ind, double* val, int first, int count);
/* Quadratic objective terms, one per unordered pair with qrow <= qcol, sorted
 * by (qrow, qcol); *numqnz is the count (two-call protocol). */
VLM_API int VLMgetq(VLMmodel* model, int* numqnz, int* qrow, int* qcol, double* qval);
/* SOS first .. first+count-1: members and weights in the order they were
 * given; `types` and `beg` (count entries each, either may be NULL) are
 * written by the size call too. */
VLM_API int VLMgetsos(VLMmodel* model, int* nnz, int* types, int* beg, int* ind, double* weight, int first,
                      int count);
/* Indicator constraint `index` (_INDICATOR_ROW_IDX outside them): the row by
 * ascending column. The scalar outputs (each may be NULL) are written by the
 * size call too. */
VLM_API int VLMgetgenconstrIndicator(VLMmodel* model, int index, int* binvar, int* binval, int* nnz, int* colind,
                                     double* colval, char* sense, double* rhs);
/* *index: the first variable (constraint) of that name, or -1 (also for the
 * empty name, which unnamed items have). */
VLM_API int VLMgetvarbyname(VLMmodel* model, const char* name, int* index);
VLM_API int VLMgetconstrbyname(VLMmodel* model, const char* name, int* index);

/* ---- attributes ------------------------------------------------------------
 * 64 names (11 of them aliases, answering like their target), matched
 * case-insensitively, "/" and "_" alike. Kinds and item counts: model;
 * variables (NumVars); rows (NumConstrs, kinds CONSTR and PSDCONSTR alike,
 * over the shared numbering); SOS; general constraints; semidefinite
 * variables. Checks run in this order, each with its own code:
 *  - a name the library does not know: VLM_ERROR_MODEL_INVALID_ATTR_NAME;
 *  - a call of another type than the attribute's: VLM_ERROR_MODEL_INVALID_
 *    INT_ATTR, _REAL_ATTR, _STR_ATTR, _CHAR_ATTR or _MAT_ATTR for the call's type;
 *  - a model-level call on an item attribute or the reverse:
 *    VLM_ERROR_MODEL_INVALID_ATTR_NAME;
 *  - writing a read-only attribute (VLMgetattrinfo's flag 0):
 *    VLM_ERROR_INVALID_ARGUMENT;
 *  - an index outside the items: the index code of the kind;
 *  - a value the attribute refuses (see the conventions; a matrix of another
 *    order than its item: VLM_ERROR_MODEL_INVALID_REAL_ATTR_SYM_MAT);
 *  - a result that does not exist: VLM_ERROR_NO_SOLN without a solution
 *    (X, Xn, ObjVal, Activity, PsdX, DualSoln, ReducedCost, DualObjVal, basis
 *    statuses, MIP gaps), VLM_ERROR_DATA_NOT_AVAILABLE when the solution lacks
 *    that part (duals, basis, gaps), VLM_ERROR_INVALID_SOL_IDX for an Xn whose
 *    MIP/SolutionNumber is outside the solutions found, VLM_ERROR_NO_STATISTICS
 *    for run statistics (iterations, times) before a run, VLM_ERROR_IIS_NO_SOLN
 *    for IISVar/IISConstr before an IIS was computed. Status, SolCount and
 *    HasSolution always answer (UNKNOWN, 0, 0 before a run).
 * List forms take n items given by ind[n] (repeats allowed; a write applies
 * them in order, so the last value given for an item stays) and values in
 * value[n]; n may be 0. Writable attributes: ModelSense, ObjConst, ProbName;
 * LB, UB, Obj, Start (MIP start; VLM_UNDEFINED clears it), VType, ColName;
 * LHS, RHS, PsdCLHS, PsdCRHS, RowName, PsdCName; GenConstrName; PsdVarName,
 * PsdObj.
 */
/* *type: VLM_ATTRTYPE_*; *kind: VLM_ATTRKIND_*; *flag: 1 when writable. Each
 * out-pointer may be NULL. */
VLM_API int VLMgetattrinfo(VLMmodel* model, const char* name, int* type, int* kind, int* flag);
VLM_API int VLMgetintattr(VLMmodel* model, const char* name, int* value);
VLM_API int VLMgetdblattr(VLMmodel* model, const char* name, double* value);
/* *value points to library-owned text, valid until the next text attribute
 * call on `model` (or until the model is freed). */
VLM_API int VLMgetstrattr(VLMmodel* model, const char* name, char** value);
VLM_API int VLMsetintattr(VLMmodel* model, const char* name, int value);
VLM_API int VLMsetdblattr(VLMmodel* model, const char* name, double value);
VLM_API int VLMsetstrattr(VLMmodel* model, const char* name, const char* value);
VLM_API int VLMgetintattrlist(VLMmodel* model, const char* name, int n, const int* ind, int* value);
VLM_API int VLMgetdblattrlist(VLMmodel* model, const char* name, int n, const int* ind, double* value);
VLM_API int VLMgetcharattrlist(VLMmodel* model, const char* name, int n, const int* ind, char* value);
/* value[n] (the caller's array of pointers) receives library-owned texts,
 * valid until the next text attribute call on `model`. */
VLM_API int VLMgetstrattrlist(VLMmodel* model, const char* name, int n, const int* ind, char** value);
VLM_API int VLMsetintattrlist(VLMmodel* model, const char* name, int n, const int* ind, const int* value);
VLM_API int VLMsetdblattrlist(VLMmodel* model, const char* name, int n, const int* ind, const double* value);
VLM_API int VLMsetcharattrlist(VLMmodel* model, const char* name, int n, const int* ind, const char* value);
/* Every value[k] must be a text (NULL: VLM_ERROR_INVALID_ARGUMENT). */
VLM_API int VLMsetstrattrlist(VLMmodel* model, const char* name, int n, const int* ind,
                              const char* const* value);
/* Matrix attributes (PsdObj, PsdX), two-call protocol: with beg, nrows, ncols,
 * pos and val NULL, *nnz receives the entry total; then the caller's arrays of
 * n, n, n, *nnz and *nnz entries are filled (with *nnz holding their capacity).
 * Matrix i has nrows[i] x ncols[i] elements and the entries
 * beg[i] .. (beg[i+1] or *nnz)-1, each val[k] at flat position pos[k]
 * (row * ncols[i] + column), every stored position once, row-major. PsdX lists
 * all dim * dim positions. */
VLM_API int VLMgetmatattrlist(VLMmodel* model, const char* name, int n, const int* ind, int* nnz, int* beg,
                              int* nrows, int* ncols, int* pos, double* val);
/* The same format as input (beg may be NULL when nnz is 0). Each matrix must
 * match its item's order and replaces the item's whole matrix; its entries are
 * read as described under "Coefficient matrices". */
VLM_API int VLMsetmatattrlist(VLMmodel* model, const char* name, int n, const int* ind, int nnz, const int* beg,
                              const int* nrows, const int* ncols, const int* pos, const double* val);

/* ---- callbacks -------------------------------------------------------------
 * A registered callback is called during VLMoptimize of a model with a
 * discrete part (MIP and MIQP runs) and during the MIP solves of
 * VLMcomputeIIS; linear and quadratic programs have no where-point.
 *  - MIPSTART: once per run, after the root relaxation is solved, before
 *    anything else (none when the root relaxation is infeasible).
 *  - MIPNODE: whenever the relaxation of a node is solved, at every pass of
 *    the node's cut loop (a node may give several turns); none when the
 *    search ends at the root before its cut loop (a heuristic closed it).
 *  - MIPSOL: once per new incumbent, before the solver takes it: MIP_SOL
 *    and MIP_OBJBST give the new solution, and a cut added in this turn
 *    that it violates refuses it (a lazy constraint). A solution that
 *    violates a cut added earlier gets no turn and is refused.
 * While a callback is registered, MIP runs are single-threaded, without
 * preprocessing and without restarts: the "presolved" model of the PRE_*
 * codes is the model's own columns and rows as the solver takes them (bounds
 * of binaries within [0, 1], the range of a semi-continuous column widened to
 * include 0, the sides of rows of integer columns on their lattice (see
 * VLMoptimize), the objective's linear part in the model's sense); the columns
 * and rows that stand in for indicators and semi-continuous variables stay
 * hidden. Presolved indices are therefore the model's own, and every ...p
 * function equals its plain twin.
 * Objectives (MIP_OBJBST, MIP_OBJBND, MIP_RELVAL) are in the model's sense,
 * constant included: for a maximisation, MIP_OBJBST <= optimum <= MIP_OBJBND.
 * Without an incumbent MIP_OBJBST is VLM_INFINITY (-VLM_INFINITY when
 * maximising); MIP_PHASE is 0 without an incumbent, 2 once the relative gap
 * is at most 1%, 1 otherwise.
 */

/* Called on the thread that runs VLMoptimize or VLMcomputeIIS, with no lock of
 * the library held (it may solve other models). `cbdata` is valid only during
 * the call. Answer 0 to go on; any other answer stops the run at once, the
 * callback is not called again in that run, and the run returns that answer
 * (VLM_ERROR_ABORT_CTRL_C after a termination request, -1 after an error of
 * the caller's bridge); the best solution found stays readable (Status
 * SUB_OPTIMAL, or UNKNOWN without one). The model being solved refuses every
 * change and a second solve meanwhile; its attributes can be read. */
typedef int (*VLMcallback)(VLMmodel* model, void* cbdata, int where, void* usrdata);

/* Registers `cb` (NULL: none) with the user data handed to each call; the
 * registration stays until replaced and is not copied by VLMcopymodel. */
VLM_API int VLMsetcallbackfunc(VLMmodel* model, VLMcallback cb, void* usrdata);
/* Writes the value of `what` at where-point `where` into *result: an int, a
 * double, or a pointer to a library-owned array valid until the callback
 * returns (see the what-codes). VLM_ERROR_CB_INVALID_WHERE for a where that is
 * not the current one, VLM_ERROR_CB_INVALID_WHAT for an unknown what,
 * VLM_ERROR_DATA_NOT_AVAILABLE for one not available at this point: the
 * relaxation's codes (MIP_RELVAL, MIP_RELPRE, MIP_RELRDCPRE, MIP_LB, MIP_UB,
 * MIP_REL) exist at MIPSTART and MIPNODE only, the incumbent's (MIP_SOLPRE,
 * MIP_SOL) once there is one. An empty array is a valid pointer to nothing. */
VLM_API int VLMcbget(void* cbdata, int where, int what, void* result);
/* *length: the number of elements of the array that `what` gives (1 for a
 * single value), with the same checks and codes as VLMcbget. */
VLM_API int VLMcbgetlength(void* cbdata, int where, int what, int* length);
/* A cut sum(val[k] * x[ind[k]]) sense rhs over the model's variables, valid
 * for the whole search (repeated indices summed): at MIPNODE and MIPSOL,
 * else VLM_ERROR_CB_INVALID_WHERE. It is added to the relaxation and
 * enforced as a lazy constraint: every later incumbent satisfies it, a
 * solution violating it is refused (at MIPSOL, also the new solution of the
 * turn). Answers: VLM_CB_SUBMIT_OK: the cut is part of the model for the
 * rest of the run. Every later incumbent and the point reported satisfy it
 * (to 1e-6 relative to max(1, |rhs|, its largest |a_j x_j|)), and the
 * verdict is on the model as given with the accepted cuts as rows: OPTIMAL
 * is that model's optimum (checked as the model's would be), INFEASIBLE
 * says that model has no point. VLM_CB_SUBMIT_INVALID for a cut the
 * incumbent violates (accepted solutions stay feasible; at MIPSOL the
 * incumbent before the turn's solution), one that a solution proposed and
 * accepted (VLMcbsolution) but not yet taken by the solver violates, or one
 * without coefficients that never holds; VLM_CB_SUBMIT_REFUSED for a cut
 * without coefficients that always holds, one already added, or one with a
 * coefficient (repeated indices summed) or right-hand side of magnitude
 * 1e25 or more, which the simplex cannot take. Errors: an index
 * outside the variables (_COL_IDX), a sense other than '<', '>', '='
 * (MODEL_INPUT_ERROR), a NaN or infinite value (INVALID_ARGUMENT). */
VLM_API int VLMcbcut(void* cbdata, int nnz, const int* ind, const double* val, char sense, double rhs);
VLM_API int VLMcbcutp(void* cbdata, int nnz, const int* ind, const double* val, char sense, double rhs);
/* At MIPNODE (else VLM_ERROR_CB_INVALID_WHERE): branch on integer variable
 * `index` at this node, exploring the up branch first when way > 0, the down
 * branch when way < 0, as the solver prefers when 0. The split is at the
 * relaxation's value of the variable; `value` must lie within the node's
 * bounds. VLM_CB_SUBMIT_INVALID for a continuous variable or a value outside
 * the node's bounds, VLM_CB_SUBMIT_REFUSED when the relaxation holds the
 * variable at an integer (no branch on it here). */
VLM_API int VLMcbbranch(void* cbdata, int index, double value, int way);
VLM_API int VLMcbbranchp(void* cbdata, int index, double value, int way);
/* Proposes a solution with one value per variable, at any where-point;
 * VLM_UNDEFINED marks a value left to the library. Given values are fixed
 * (integers within MIP/IntegerTolerance rounded), then an LP (a QP for a
 * quadratic objective) over the rest, with the callback's cuts, completes it
 * at its best objective; the result must satisfy bounds, integrality, rows,
 * SOS, indicators, semi-continuity and the callback's cuts. Answers:
 * VLM_CB_SUBMIT_OK (taken: it becomes the incumbent when the solver next
 * looks at proposals at a node whose bounds hold it, or at the end of the
 * search when it is still better), VLM_CB_SUBMIT_INVALID (no such completion exists;
 * *objval is VLM_INFINITY in the direction of the model's sense),
 * VLM_CB_SUBMIT_REFUSED (correct, but no better than the incumbent or
 * MIP/Cutoff). *objval receives the objective of the completed solution. A
 * NaN or infinite value other than VLM_UNDEFINED: VLM_ERROR_INVALID_ARGUMENT. */
VLM_API int VLMcbsolution(void* cbdata, const double* sol, double* objval);
VLM_API int VLMcbsolutionp(void* cbdata, const double* sol, double* objval);

#ifdef __cplusplus
}
#endif

#endif /* VELMOR_H */

/*
 * pmr.h - the public C interface of libpmr, a runtime of finite-state
 * linguistic tools: morphological lookup in compiled lexical transducers,
 * token breaking, partial-word expansion, tokenizing, HMM tagging, phrase
 * grouping and client dictionaries.
 *
 * Conventions
 * - Functions that return a number return 0 or a count on success and a
 *   negative PMR_* error code on failure.
 * - Constructors return an object pointer or, on failure, an error object:
 *   pmr_object_error_code() tells the two apart (0 for a real object, the
 *   negative code for an error object). Error objects are never freed and
 *   never dereferenced; every free function accepts null and error objects.
 * - Every output buffer comes with its size in bytes. Results are written as
 *   NUL-terminated strings one after another; the return value is their count.
 * - Text is 8-bit, one byte per character, in the transducer's character set.
 * - Most operations have a snake_case name (pmr_make_fsm) and a CamelCase name
 *   (pmrOpenLexicalTransducer) that forwards to it unchanged.
 *
 * Threads
 * - The library keeps no global mutable state and takes no locks.
 * - A loaded transducer, tagger, grouper or client dictionary is only read by
 *   the operations that use it and may be shared by any number of threads.
 * - Lookup buffers, tagger buffers and tokenizers are written during a call:
 *   each thread needs its own.
 * - Making, filling and freeing objects is not synchronised: do not add
 *   entries to a client dictionary while another thread reads it, and do not
 *   free an object while it is in use.
 *
 * Bounded work
 * - Every lookup ends. The working memory of one lookup starts small and
 *   doubles when the engine needs more, but never beyond
 *   PMR_LOOKUP_STACK_CEILING choice points and PMR_LOOKUP_WORK_CEILING bytes
 *   of coded word and output; past that the lookup returns the error that
 *   made it grow (PMR_STACK_OVERFLOW or PMR_INTERNAL_BUFFER_TOO_SMALL).
 */
#ifndef PMR_H
#define PMR_H

#include <stdint.h>

#if defined(_WIN32)
#define PMR_API __declspec(dllexport)
#elif defined(__GNUC__)
#define PMR_API __attribute__((visibility("default")))
#else
#define PMR_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- error codes ------------------------------------------------------ */
#define PMR_NO_ERROR 0
#define PMR_FILE_OPEN_ERROR (-1)
#define PMR_FILE_TYPE_ERROR (-2)
#define PMR_MEMORY_ERROR (-3)
#define PMR_SYSTEM_ERROR (-4)
#define PMR_INVALID_FSM (-5)
#define PMR_INVALID_CLIENT_DICT (-6)
#define PMR_INVALID_NUMBER (-8)
#define PMR_CHAR_NOT_IN_ALPHABET (-10)
#define PMR_INVALID_FUNCTION (-11)
#define PMR_OUTPUT_TOO_LONG (-12)
#define PMR_STACK_OVERFLOW (-13)
#define PMR_INCOMPLETE_TAG (-14)
#define PMR_UNRECOGNIZED_TOKEN (-15)
#define PMR_INCOMPLETE_INPUT (-16)
#define PMR_GUESSER_FAILED (-17)
#define PMR_UNRECOGNIZED_CLASS (-18)
#define PMR_TOO_MANY_TOKENS (-19)
#define PMR_TOKEN_BUFFER_TOO_SMALL (-20)
#define PMR_CLIENT_OUTPUT_TOO_SMALL (-21)
#define PMR_CODED_INPUT_TOO_SMALL (-22)
#define PMR_CODED_OUTPUT_TOO_SMALL (-23)
#define PMR_CLIENT_OUTPUT_FULL (-24)
#define PMR_MODEL_MISMATCH (-25)
#define PMR_INTERNAL_BUFFER_TOO_SMALL (-26)
#define PMR_ENTRY_BEFORE_TAG (-27)
#define PMR_NULL_POINTER (-28)
#define PMR_IO_ERROR (-29)
#define PMR_SOURCE_ERROR (-44)
#define PMR_SUMMARIZER_UNKNOWN_ERROR (-45)
#define PMR_LOADING_ERROR (-46)
#define PMR_STEM_ERROR (-47)
#define PMR_SUMMARIZER_INIT_ERROR (-48)
#define PMR_TOKENIZER_INIT_ERROR (-49)
#define PMR_TOKENIZER_INIT_BUFFER_OVERFLOW (-50)

/* ---- lookup functions (the function argument of the lookup calls) ------ */
#define PMR_LOOKUP_ANALYZE 2          /* surface -> analyses (network 12)   */
#define PMR_LOOKUP_BASE_FORMS 3       /* surface -> outputs (network 27)    */
#define PMR_LOOKUP_FIRST 5            /* first output of network 27         */
#define PMR_LOOKUP_SHORTEST 7         /* shortest output of network 27      */
#define PMR_LOOKUP_GENERATE 8         /* analysis -> surfaces (23, or 12)   */
#define PMR_LOOKUP_INVERSE_BASE 9     /* inverse of network 27              */
#define PMR_LOOKUP_TOKENIZE 11        /* first output of network 28         */

/* Ceilings of the lookup's working memory (see "Bounded work" above). */
#define PMR_LOOKUP_STACK_CEILING 65536
#define PMR_LOOKUP_WORK_CEILING 1048576

/* ---- client dictionary lookup modes ----------------------------------- */
#define PMR_DICT_MATCH_TAGS 1
#define PMR_DICT_COPY_BASE 2
#define PMR_DICT_COPY_TAGS 4

/* ---- tokenizer -------------------------------------------------------- */
#define PMR_TOKEN_WORD 1
#define PMR_TOKEN_PUNCT 2
#define PMR_TOKEN_CLOSE 4
#define PMR_TOKEN_OPEN 8
#define PMR_TOKEN_SENTENCE_END 16
#define PMR_TOKEN_LINE_BREAK 32
#define PMR_TOKEN_MARKUP_KEEP 64
#define PMR_TOKEN_MARKUP_SKIP 128
#define PMR_TOKEN_PARAGRAPH 256

#define PMR_TOKENIZE_FINAL 1
#define PMR_TOKENIZE_MARKUP 2
#define PMR_TOKENIZE_LINE_IS_PARAGRAPH 4

/* ---- tagger modes ------------------------------------------------------ */
#define PMR_TAG_CASE_AS_GIVEN 1
#define PMR_TAG_LOWER_INITIALS 2
#define PMR_TAG_UPPER_INITIALS 4
#define PMR_TAG_MULTIWORD 8
#define PMR_TAG_AUTO_CASE 128

/* ---- grouper flags ----------------------------------------------------- */
#define PMR_GROUP_INNER 1
#define PMR_GROUP_SORT 2

/* ---- capability bits of pmr_fsm_capabilities -------------------------- */
#define PMR_CAN_LOOKUP 1        /* function 12 (with 8)  */
#define PMR_CAN_BASE_FORMS 2    /* function 27 (with 64) */
#define PMR_CAN_TOKENIZE 4      /* function 28           */
#define PMR_CAN_TAG 16          /* functions 60 and 61   */
#define PMR_CAN_EXPAND 128      /* function 1            */
#define PMR_CAN_GROUP 256       /* function 62           */

/* ---- opaque objects ---------------------------------------------------- */
typedef struct pmr_fsm pmr_fsm;                     /* lexical transducer  */
typedef struct pmr_header pmr_header;               /* 92-byte file header */
typedef struct pmr_client_dict pmr_client_dict;     /* client dictionary   */
typedef struct pmr_lookup_buffer pmr_lookup_buffer; /* expansion workspace */
typedef struct pmr_tokenizer pmr_tokenizer;
typedef struct pmr_tagger pmr_tagger;
typedef struct pmr_tagger_buffer pmr_tagger_buffer;
typedef struct pmr_grouper pmr_grouper;

/* A token record written by pmr_tokenize. */
typedef struct pmr_token {
  int32_t text;    /* -1: the token's span; else offset of a replacement text */
  int32_t offset;  /* first byte, from the start of this call's input        */
  int32_t length;  /* input bytes covered                                    */
  uint32_t kind;   /* PMR_TOKEN_* bits                                       */
} pmr_token;

/* A group record written by pmr_group. */
typedef struct pmr_group_record {
  int32_t start;   /* index of the first token                          */
  int32_t length;  /* tokens in the group; -1 when it was never closed  */
  int32_t name;    /* offset of the group's name in the name buffer      */
} pmr_group_record;

/* ---- library frame ----------------------------------------------------- */
PMR_API int32_t pmr_init_library(void);
PMR_API void pmr_free_library(void);
PMR_API int32_t pmr_library_version(char* buffer, int32_t size);
PMR_API void* pmr_error_object(int32_t code);
PMR_API int32_t pmr_object_error_code(const void* object);
PMR_API int32_t pmr_error_message(int32_t code, char* buffer, int32_t size);

PMR_API int32_t pmrInitLexicalLibrary(void);
PMR_API void pmrFreeLexicalLibrary(void);
PMR_API int32_t pmrLexicalLibraryVersion(char* buffer, int32_t size);
PMR_API void* pmrErrorObject(int32_t code);
PMR_API int32_t pmrObjectErrorCode(const void* object);
PMR_API int32_t pmrLexicalTransducerErrorCode(const pmr_fsm* transducer);
PMR_API int32_t pmrLexicalLibraryErrorMessage(int32_t code, char* buffer, int32_t size);

/* ---- transducers ------------------------------------------------------- */
PMR_API pmr_fsm* pmr_make_fsm(const char* file_name);
PMR_API void pmr_free_fsm(pmr_fsm* transducer);
PMR_API pmr_fsm* pmrOpenLexicalTransducer(const char* file_name);
PMR_API void pmrCloseLexicalTransducer(pmr_fsm* transducer);

/* mode 0: end-of-string appended; 1: bracketed tags; 2: end-of-file
 * appended; other: plain. Returns the coded length or a negative code. */
PMR_API int32_t pmrEncodeByteString(const char* input, char* output, int32_t output_size,
                                    int32_t mode, const pmr_fsm* transducer);

PMR_API int32_t pmr_fsm_copyright(char* buffer, int32_t size, const pmr_fsm* transducer);
PMR_API int32_t pmr_fsm_version(char* buffer, int32_t size, const pmr_fsm* transducer);
PMR_API uint32_t pmr_fsm_creation_date(const pmr_fsm* transducer);
PMR_API int32_t pmr_fsm_language(const pmr_fsm* transducer);
PMR_API int32_t pmr_fsm_char_encoding(const pmr_fsm* transducer);
PMR_API uint32_t pmr_fsm_capabilities(const pmr_fsm* transducer);
PMR_API int32_t pmrLexicalTransducerCopyrightMessage(char* buffer, int32_t size,
                                                     const pmr_fsm* transducer);
PMR_API int32_t pmrLexicalTransducerVersion(char* buffer, int32_t size, const pmr_fsm* transducer);
PMR_API uint32_t pmrLexicalTransducerCreationDate(const pmr_fsm* transducer);
PMR_API int32_t pmrLexicalTransducerLanguage(const pmr_fsm* transducer);
PMR_API int32_t pmrLexicalTransducerCharEncoding(const pmr_fsm* transducer);
PMR_API uint32_t pmrLexicalTransducerCapabilities(const pmr_fsm* transducer);

PMR_API pmr_header* pmr_make_header(const char* file_name);
PMR_API void pmr_free_header(pmr_header* header);
PMR_API int32_t pmr_compare_header(const pmr_header* a, const pmr_header* b);
PMR_API pmr_header* pmrMakeHeader(const char* file_name);
PMR_API void pmrFreeHeader(pmr_header* header);
PMR_API int32_t pmrCompareHeader(const pmr_header* a, const pmr_header* b);

/* ---- lookup ------------------------------------------------------------ */
/* length: bytes of word, or 2147483647 for a NUL-terminated word. */
PMR_API int32_t pmr_lookup_with_transduction(const char* word, int32_t length, char* output,
                                             int32_t output_size, int32_t function,
                                             const pmr_fsm* transducer,
                                             const pmr_client_dict* client_dictionary,
                                             int32_t reserved);
PMR_API int32_t pmrLookupByteString(const char* word, char* output, int32_t output_size,
                                    int32_t function, const pmr_fsm* transducer);
PMR_API int32_t pmrBreakByteStringToken(const char* coded_input, char* buffer, uint32_t buffer_size,
                                        uint32_t* offsets, uint32_t offsets_capacity, int32_t all,
                                        const pmr_fsm* transducer);
PMR_API void pmrDecodeOffsets(const uint32_t* coded_offsets, uint32_t count,
                              uint32_t* symbol_offsets, const char* coded_string,
                              const pmr_fsm* transducer);

/* ---- lookup buffers and partial-word expansion ------------------------ */
PMR_API pmr_lookup_buffer* pmrMakeLookupBuffer(uint32_t coded_input_size,
                                               uint32_t coded_output_size,
                                               uint32_t stack_capacity, uint32_t reserved_1,
                                               uint32_t reserved_2, uint32_t client_word);
PMR_API void pmrFreeLookupBuffer(pmr_lookup_buffer* lookup_buffer);
PMR_API uint32_t pmrLookupBufferCursor(const pmr_lookup_buffer* lookup_buffer);
PMR_API uint32_t pmrLookupBufferResultCount(const pmr_lookup_buffer* lookup_buffer);
PMR_API void pmrSetTagEnclosureChars(pmr_lookup_buffer* lookup_buffer, uint16_t open_char,
                                     uint16_t close_char);
PMR_API int32_t pmrExpandByteStringPartialWord(const char* piece, char* output,
                                               uint32_t output_size,
                                               pmr_lookup_buffer* lookup_buffer,
                                               uint32_t prefix_length, uint32_t minimum_length,
                                               uint32_t length_limit, int32_t continuing,
                                               int32_t reserved, const pmr_fsm* transducer);

/* ---- client dictionaries ---------------------------------------------- */
PMR_API pmr_client_dict* pmr_make_client_dict(int32_t reserved_1, int32_t reserved_2);
PMR_API void pmr_free_client_dict(pmr_client_dict* dict);
PMR_API int32_t pmr_add_entry(const char* word, const char* analysis, int32_t reserved,
                              pmr_client_dict* dict);
PMR_API int32_t pmr_load_entries(const char* path, int32_t reserved, pmr_client_dict* dict);
PMR_API int32_t pmr_client_dict_lookup(const char* word, const char* tags, char* out,
                                       int32_t out_size, int32_t mode, int32_t reserved,
                                       const pmr_client_dict* dict);

/* ---- tokenizer ---------------------------------------------------------- */
PMR_API pmr_tokenizer* pmr_make_tokenizer(const pmr_fsm* transducer, int32_t reserved,
                                          const pmr_client_dict* dict);
PMR_API void pmr_free_tokenizer(pmr_tokenizer* tokenizer);
PMR_API int32_t pmr_tokenize(const char* input, int32_t length, pmr_tokenizer* tokenizer,
                             int32_t flags, pmr_token* records, int32_t capacity, char* text,
                             int32_t text_size, int32_t* count);

/* ---- tagger ------------------------------------------------------------- */
PMR_API pmr_tagger* pmr_make_tagger(const char* file_name, const pmr_fsm* clg);
PMR_API void pmr_free_tagger(pmr_tagger* tagger);
PMR_API pmr_tagger* pmrMakeTagger(const char* file_name, const pmr_fsm* clg);
PMR_API void pmrFreeTagger(pmr_tagger* tagger);
PMR_API pmr_tagger_buffer* pmr_make_tagger_buffer(int32_t max_tokens, int32_t token_buffer_size,
                                                  const pmr_tagger* tagger);
PMR_API void pmr_free_tagger_buffer(pmr_tagger_buffer* buffer);
PMR_API pmr_tagger_buffer* pmrMakeTaggerBuffer(int32_t max_tokens, int32_t token_buffer_size,
                                               const pmr_tagger* tagger);
PMR_API void pmrFreeTaggerBuffer(pmr_tagger_buffer* buffer);
/* tokens: NUL-terminated strings back to back. */
PMR_API int32_t pmr_tag_sentence(const char* tokens, int32_t token_count, char* output,
                                 int32_t output_size, int32_t mode, const pmr_tagger* tagger,
                                 pmr_tagger_buffer* tagger_buffer,
                                 const pmr_client_dict* dictionary, int32_t reserved);
/* tokens: NUL-terminated strings back to back, ended by an empty string. */
PMR_API int32_t pmrTagSentence(const char* tokens, char* output, int32_t output_size,
                               pmr_tagger_buffer* tagger_buffer, int32_t mode,
                               const pmr_tagger* tagger);

/* ---- grouper ------------------------------------------------------------ */
PMR_API pmr_grouper* pmr_make_grouper(const pmr_fsm* transducer);
PMR_API void pmr_free_grouper(pmr_grouper* grouper);
/* tags: NUL-terminated tag names back to back, one per token. */
PMR_API int32_t pmr_group(const char* tags, int32_t token_count, uint8_t flags,
                          pmr_group_record* groups, int32_t capacity, char* names,
                          int32_t names_size, const pmr_grouper* grouper);

#ifdef __cplusplus
}
#endif

#endif /* PMR_H */

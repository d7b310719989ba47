/* The yardstick of bench/startup.sh: a C program on yyjson alone that does
 * the reading the timed jsonengine runs do, so that what a run costs beyond
 * it is the engine's and its program's own.
 *
 *   yyjson_run type FILE                print the root's type
 *   yyjson_run get POINTER FILE         print the value at a JSON Pointer, compact
 *   yyjson_run each POINTER SUB FILE    print SUB of each element of the array
 *                                       at POINTER, one compact value per line
 *   yyjson_run minify FILE              print the document compact
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <yyjson.h>

static int usage(void) {
    fputs("usage: yyjson_run type FILE | get POINTER FILE | each POINTER SUB FILE | minify FILE\n", stderr);
    return 2;
}

static yyjson_doc *load(const char *file) {
    yyjson_read_err err;
    yyjson_doc *doc = yyjson_read_file(file, 0, NULL, &err);
    if (!doc) fprintf(stderr, "yyjson_run: %s: %s\n", file, err.msg);
    return doc;
}

static int print_val(yyjson_val *val) {
    size_t len = 0;
    char *text = val ? yyjson_val_write(val, 0, &len) : NULL;
    if (!text) return 1;
    fwrite(text, 1, len, stdout);
    fputc('\n', stdout);
    free(text);
    return 0;
}

static const char *type_name(yyjson_val *val) {
    switch (yyjson_get_type(val)) {
        case YYJSON_TYPE_OBJ: return "object";
        case YYJSON_TYPE_ARR: return "array";
        case YYJSON_TYPE_STR: return "string";
        case YYJSON_TYPE_NUM: return "number";
        case YYJSON_TYPE_BOOL: return "bool";
        default: return "null";
    }
}

int main(int argc, char **argv) {
    if (argc < 3) return usage();
    const char *cmd = argv[1];
    int need = strcmp(cmd, "get") == 0 ? 4 : strcmp(cmd, "each") == 0 ? 5 : 3;
    if (argc != need) return usage();
    yyjson_doc *doc = load(argv[argc - 1]);
    if (!doc) return 1;
    yyjson_val *root = yyjson_doc_get_root(doc);
    int status = 0;
    if (strcmp(cmd, "type") == 0) {
        puts(type_name(root));
    } else if (strcmp(cmd, "get") == 0) {
        status = print_val(yyjson_ptr_get(root, argv[2]));
    } else if (strcmp(cmd, "each") == 0) {
        yyjson_val *arr = yyjson_ptr_get(root, argv[2]), *item;
        yyjson_arr_iter it = yyjson_arr_iter_with(arr);
        while (!status && (item = yyjson_arr_iter_next(&it))) status = print_val(yyjson_ptr_get(item, argv[3]));
    } else if (strcmp(cmd, "minify") == 0) {
        status = print_val(root);
    } else {
        status = usage();
    }
    yyjson_doc_free(doc);
    return status;
}

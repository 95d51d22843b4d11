/* regdump OUTFILE KEY...: writes each KEY (HKLM\..., HKCU\..., HKCR\...) with all its subkeys and
 * values to OUTFILE, one record a line, names and data as hex of the raw bytes:
 *     K <key path>                   a key (full path as given, then the enumerated names)
 *     V <name> <type> <data>         a value of the key above
 *     M <key path>                   a KEY that does not exist
 *     D <key path> <result>          "-delete KEY": RegDeleteKeyA's result for KEY (decimal); how a
 *                                    key with subkeys fares tells the family Wine plays (9x: 0 and
 *                                    the whole tree goes; NT: 5 and it stays)
 *     C <key path> <result>          "-volatile KEY": KEY made volatile (RegCreateKeyExA's result):
 *                                    no lasting key can be made below it while the session runs
 * One process reads everything a test needs: regedit would need a Wine start per key. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static FILE *out;

static void put_hex(const BYTE *data, DWORD size) {
    for (DWORD i = 0; i < size; ++i) fprintf(out, "%02x", data[i]);
}

static void dump_key(HKEY key, char *path, size_t room) {
    fputs("K ", out);
    put_hex((const BYTE *)path, (DWORD)strlen(path));
    fputc('\n', out);
    static BYTE data[1 << 16];
    char name[16384];
    for (DWORD i = 0;; ++i) {
        DWORD nlen = sizeof name, dlen = sizeof data, type = 0;
        LONG r = RegEnumValueA(key, i, name, &nlen, NULL, &type, data, &dlen);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) {
            fprintf(out, "E value %lu %ld\n", i, r);
            continue;
        }
        fputs("V ", out);
        put_hex((const BYTE *)name, nlen);
        fprintf(out, " %lu ", type);
        put_hex(data, dlen);
        fputc('\n', out);
    }
    size_t len = strlen(path);
    for (DWORD i = 0;; ++i) {
        DWORD nlen = sizeof name;
        LONG r = RegEnumKeyExA(key, i, name, &nlen, NULL, NULL, NULL, NULL);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || len + 1 + nlen + 1 > room) continue;
        HKEY child;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        path[len] = '\\';
        memcpy(path + len + 1, name, nlen + 1);
        dump_key(child, path, room);
        path[len] = 0;
        RegCloseKey(child);
    }
}

int main(int argc, char **argv) {
    if (argc < 2) return 2;
    out = fopen(argv[1], "wb");
    if (!out) return 3;
    for (int i = 2; i < argc; ++i) {
        static char path[65536];
        HKEY root;
        int erase = !strcmp(argv[i], "-delete") && i + 1 < argc;
        int fleeting = !strcmp(argv[i], "-volatile") && i + 1 < argc;
        if (erase || fleeting) ++i;
        const char *rest = strchr(argv[i], '\\');
        size_t rootlen = rest ? (size_t)(rest - argv[i]) : strlen(argv[i]);
        if (!_strnicmp(argv[i], "HKLM", rootlen) && rootlen == 4) root = HKEY_LOCAL_MACHINE;
        else if (!_strnicmp(argv[i], "HKCU", rootlen) && rootlen == 4) root = HKEY_CURRENT_USER;
        else if (!_strnicmp(argv[i], "HKCR", rootlen) && rootlen == 4) root = HKEY_CLASSES_ROOT;
        else return 4;
        if (erase) {
            LONG r = RegDeleteKeyA(root, rest ? rest + 1 : "");
            fputs("D ", out);
            put_hex((const BYTE *)argv[i], (DWORD)strlen(argv[i]));
            fprintf(out, " %ld\n", r);
            continue;
        }
        HKEY key;
        if (fleeting) {
            LONG r = RegCreateKeyExA(root, rest ? rest + 1 : "", 0, NULL, REG_OPTION_VOLATILE, KEY_READ, NULL, &key, NULL);
            if (r == ERROR_SUCCESS) RegCloseKey(key);
            fputs("C ", out);
            put_hex((const BYTE *)argv[i], (DWORD)strlen(argv[i]));
            fprintf(out, " %ld\n", r);
            continue;
        }
        if (RegOpenKeyExA(root, rest ? rest + 1 : "", 0, KEY_READ, &key) != ERROR_SUCCESS) {
            fputs("M ", out);
            put_hex((const BYTE *)argv[i], (DWORD)strlen(argv[i]));
            fputc('\n', out);
            continue;
        }
        lstrcpynA(path, argv[i], sizeof path);
        dump_key(key, path, sizeof path);
        RegCloseKey(key);
    }
    return fclose(out) == 0 ? 0 : 5;
}

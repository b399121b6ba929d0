/* A Windows program that shows what reached it: its folder, arguments and
   one variable on stdout, a line on stderr, a file written where it runs;
   it exits with the status its first argument names, or sleeps on "sleep";
   with "echo" it copies its stdin's lines to stdout as "input=" lines. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
  char folder[MAX_PATH];
  GetCurrentDirectoryA(sizeof folder, folder);
  printf("folder=%s\n", folder);
  for (int i = 1; i < argc; ++i) printf("argument=%s\n", argv[i]);
  const char* value = getenv("TEXLOOM_ECHO_VALUE");
  printf("TEXLOOM_ECHO_VALUE=%s\n", value ? value : "(unset)");
  if (argc > 2 && strcmp(argv[2], "echo") == 0) {
    char line[256];
    while (fgets(line, sizeof line, stdin)) {
      line[strcspn(line, "\r\n")] = 0;
      printf("input=%s\n", line);
    }
  }
  fflush(stdout);
  fprintf(stderr, "on stderr\n");
  FILE* written = fopen("written.txt", "w");
  if (written) {
    fputs("written\n", written);
    fclose(written);
  }
  if (argc > 1 && strcmp(argv[1], "sleep") == 0) Sleep(600000);
  return argc > 1 ? atoi(argv[1]) : 0;
}

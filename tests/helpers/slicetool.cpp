// A slice job driven from outside, for tests that must act between the job's
// steps (swap disks, change the source): runs RunSliceJob and hands every
// message box to standard output as one line
//   BOX <tab> title <tab> style in hex <tab> text with "\n" for line feeds
// then reads the button's number (IDOK 1, IDCANCEL 2, IDABORT 3, IDRETRY 4,
// IDIGNORE 5) as a line from standard input. Ends with "RESULT code".
//   slicetool SOURCE DESTINATION PORTION_SIZE
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "slice_worker.h"

static int WINAPI AskCaller(HWND owner, LPCSTR text, LPCSTR title, UINT style)
{
    char answer[32];
    const char *c;

    (void)owner;
    printf("BOX\t%s\t%x\t", title, style);
    for (c = text; *c; c++) {
        if (*c == '\n')
            fputs("\\n", stdout);
        else
            putchar(*c);
    }
    putchar('\n');
    fflush(stdout);
    if (!fgets(answer, sizeof answer, stdin))
        return IDABORT; // nobody answers: take the way out
    return atoi(answer);
}

int main(int argc, char **argv)
{
    uint32_t result;

    if (argc != 4) {
        fputs("usage: slicetool SOURCE DESTINATION PORTION_SIZE\n", stderr);
        return 2;
    }
    JobHooks.ShowMessage = AskCaller;
    result = RunSliceJob(argv[1], argv[2], (uint32_t)strtoul(argv[3], NULL, 10));
    printf("RESULT %u\n", result);
    return 0;
}

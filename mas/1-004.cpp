/*
 * perfect: list the perfect numbers among the numbers typed in.
 *
 * The program asks for a count K (1 to 89), then for K whole numbers
 * (each 1 to 999), and writes those of them that are perfect, equal to
 * the sum of their divisors smaller than themselves (6, 28 and 496), in
 * the order they were entered, or a notice that there are none.
 *
 * Everything it writes, prompts included, goes to standard output;
 * nothing goes to standard error.  Input is a stream of decimal numbers
 * separated by white space, so several may be typed on one line.  Every
 * text begins with its own line end, so a finished run ends right after
 * its last number or notice.
 *
 * A count or value out of range, a reply that is not a whole number, the
 * end of input where a number is due, or a failing read, writes one error
 * text and ends the run with exit status 1.  A finished run exits 0, or 1
 * when its output could not be written.  Command-line arguments are
 * ignored.
 *
 * Input is read in blocks.  A file of answers is left positioned right
 * after the last character the run looked at, for whoever reads it next;
 * at a terminal the rest of the last line typed is taken and dropped, so
 * that it never reaches the shell as a command.
 */

#include <cstdio>
#include <cstdlib>

#include <sys/stat.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define getchar_unlocked _getchar_nolock
#else
#include <unistd.h>
#endif

constexpr int kmax = 89;  // the largest count
constexpr int xmax = 999; // the largest value

// vvod: ask for the count and the values, store them through n and a, and
// end the run with the error text at the first entry out of range.
static void
vvod(int *a, int *n)
{
	// A terminal or a pipe may have someone waiting on each prompt, so
	// each prompt is sent before its read.  A file holds its answers
	// already: there the output goes out in one piece at the end.
	struct stat st;
	const bool file =
	    fstat(fileno(stdin), &st) == 0 && (st.st_mode & S_IFMT) == S_IFREG;
	const bool tty = isatty(fileno(stdin)) != 0;
#ifdef _WIN32
	// Take bytes as they are: CR is white space to the reader anyway, and
	// a file's position then counts its bytes exactly, whether its lines
	// end in CR LF or in LF alone.
	_setmode(_fileno(stdin), _O_BINARY);
#endif

	// End the reading: take the character that ended the last number (and
	// the LF of a CR LF), and leave a file positioned right after it for
	// whoever reads it next.  At a terminal the rest of the typed line is
	// taken and dropped too, since the shell would run it as a command.
	// What was read ahead from a pipe is gone: a pipe keeps no place.
	const auto konec = [file, tty] {
		if (std::feof(stdin) || std::ferror(stdin))
			return;
		int c = getchar_unlocked();
		if (tty) {
			while (c != '\n' && c != EOF)
				c = getchar_unlocked();
		} else if (file) {
			if (c == '\r' && (c = getchar_unlocked()) != '\n')
				std::ungetc(c, stdin);
#ifdef _WIN32
			// Its C library drops read-ahead on fflush without
			// moving the file, so move it by hand.
			_lseeki64(_fileno(stdin), _ftelli64(stdin), SEEK_SET);
#else
			// Sets the file's offset to the stream's position.
			std::fflush(stdin);
#endif
		}
	};

	// Read one whole number into *p, rejecting it unless it is 1 to hi.
	// The digits are taken one by one rather than by scanf("%d"), whose
	// result for a number too large for an int is undefined (it may
	// wrap into range) and which may keep a long run of digits in memory.
	// Here the magnitude stops growing once it is past hi, so a number
	// of any length costs nothing and stays out of range.  A reply
	// without digits, the end of input and a failed read leave the number
	// at 0, which is rejected like any other bad entry.
	//
	// The program has one thread, so each character is taken from the
	// stream's buffer without locking it, and white space (space, \t, \n,
	// \v, \f, \r) and digits are told by their codes rather than by a
	// library call: megabytes of white space then go by as fast as
	// scanf skips them.
	const auto chislo = [file, &konec](int *p, int hi) {
		if (!file) // the prompt must show before we wait
			std::fflush(stdout);

		int c;
		do
			c = getchar_unlocked();
		while (c == ' ' || (c >= '\t' && c <= '\r'));
		const bool neg = c == '-';
		if (c == '-' || c == '+')
			c = getchar_unlocked();
		int v = 0;
		for (; c >= '0' && c <= '9'; c = getchar_unlocked())
			if (v <= hi)
				v = v * 10 + (c - '0');
		std::ungetc(c, stdin); // the next read starts at this character

		*p = neg ? -v : v;
		if (*p < 1 || *p > hi) {
			std::fputs(
			    "\n\n\n\a************** OShIBKA! *************\n",
			    stdout);
			konec();
			std::exit(1);
		}
	};

	std::fputs(
	    "\nVvedite chislo jelementov massiva ( 0 < K < 90 ): ", stdout);
	chislo(n, kmax);

	std::fputs("\nVvedite massiv ( 0 < X[I] < 1000 ):\n", stdout);
	for (int i = 0; i < *n; i++) {
		std::printf("a[%d]=", i + 1);
		chislo(&a[i], xmax);
	}
	konec();
}

// main: take the numbers through vvod, then write the perfect ones.
int
main()
{
	int x[kmax + 1]; // one entry more than a count can use
	int n;
	int fl = 0; // set once a perfect number has been written

	vvod(x, &n);

	std::fputs("\n-------------------------\n", stdout);
	for (int i = 0; i < n; i++) {
		// Plain trial division: add up every divisor below the value.
		int s = 0;
		for (int y = 1; y < x[i]; y++)
			if (x[i] % y == 0)
				s += y;
		if (x[i] == s) {
			std::printf("\n%d", x[i]);
			fl = 1;
		}
	}
	if (!fl)
		std::fputs("\n\aNET SOVERShENNYH ChISEL", stdout);

	// A report that did not reach its reader must not end as a success:
	// write out what is still buffered, see whether this or any earlier
	// write failed, and whether standard output closes cleanly.  The
	// explicit flush matters, since not every C library's fclose reports
	// a failure of its own final flush.
	const bool lost = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
	return std::fclose(stdout) == 0 && !lost ? 0 : 1;
}

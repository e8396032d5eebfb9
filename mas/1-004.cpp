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
 * A count or value out of range, a reply that is not a whole number, or
 * the end of input where a number is due, writes one error text and ends
 * the run with exit status 1.  A finished run exits 0, or 1 when its
 * output could not be written.  Command-line arguments are ignored.
 */

#include <cctype>
#include <cstdio>
#include <cstdlib>

constexpr int kmax = 89;  // the largest count
constexpr int xmax = 999; // the largest value

// vvod: ask for the count and the values, store them through n and a, and
// end the run with the error text at the first entry out of range.
static void
vvod(int *a, int *n)
{
	// Take input a character at a time, so that nothing past the last
	// number needed is read: what follows is left to whoever reads next.
	std::setvbuf(stdin, nullptr, _IONBF, 0);

	// Read one whole number into *p, rejecting it unless it is 1 to hi.
	// The digits are taken one by one rather than by scanf("%d"), whose
	// result for a number too large for an int is undefined (it may
	// wrap into range) and which may keep a long run of digits in memory.
	// Here the magnitude stops growing once it is past hi, so a number
	// of any length costs nothing and stays out of range.  A reply
	// without digits leaves the number at 0, which is rejected like any
	// other bad entry.
	const auto chislo = [](int *p, int hi) {
		std::fflush(stdout); // the prompt must show before we wait

		int c;
		do
			c = std::getchar();
		while (std::isspace(c));
		const bool neg = c == '-';
		if (c == '-' || c == '+')
			c = std::getchar();
		int v = 0;
		for (; std::isdigit(c); c = std::getchar())
			if (v <= hi)
				v = v * 10 + (c - '0');
		std::ungetc(c, stdin); // the next read starts at this character

		*p = neg ? -v : v;
		if (*p < 1 || *p > hi) {
			std::fputs(
			    "\n\n\n\a************** OShIBKA! *************\n",
			    stdout);
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

	// A report that did not reach its reader must not end as a success.
	return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

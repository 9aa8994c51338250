// Named checks of a browser test: each runs on its own, failures are printed
// with their stack, and the last line counts them as CI reads it.
'use strict';

class Checks {
  constructor() {
    this.passed = 0;
    this.failed = 0;
  }

  async check(name, body) {
    try {
      await body();
      ++this.passed;
      console.log(`ok ${name}`);
    } catch (error) {
      ++this.failed;
      console.log(`FAILED ${name}\n  ${String(error && error.stack ? error.stack : error).replace(/\n/g, '\n  ')}`);
    }
  }

  // Prints the count; the process's exit status.
  finish() {
    console.log(`${this.passed} passed, ${this.failed} failed`);
    return this.failed === 0 ? 0 : 1;
  }
}

// Runs a test's main(argv) and exits with its status.
function run(main) {
  main(process.argv.slice(2)).then((status) => { process.exitCode = status; }, (error) => {
    console.error(error);
    process.exitCode = 1;
  });
}

module.exports = { Checks, run };

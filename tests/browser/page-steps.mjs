// What the browser scripts share: each step told on standard output for the
// test's log, and waiting for a condition in the page.

export function step(text) {
  console.log('step: ' + text);
}

// Waiting inside the page would evaluate a string, which the page's
// Content Security Policy forbids; evaluate() of a function is not affected.
// The waits of one browser give up after `timeout` ms unless told otherwise.
export function waiter(timeout) {
  return async (page, predicate, arg, limit = timeout) => {
    const end = Date.now() + limit;
    for (;;) {
      if (await page.evaluate(predicate, arg)) return;
      if (Date.now() > end) throw new Error('timed out waiting for ' + predicate);
      await new Promise((resolve) => setTimeout(resolve, 25));
    }
  };
}

// bridge.js - what the kit gives every page of a web application (it is added to the
// page's <head> when the page is served). It defines window.qor:
//   qor.post(strings)  sends a message (an array of strings) to the program
//   qor.postJson(body) the same, from the message's JSON text as the page made it (a
//                      Blob or a string): a large message without a copy in the page
//   qor.catalog(name)  the message catalog of that name, as an object key -> text
//   qor.language       the user's language ("en", "fr", ...)
//   qor.hold(promise)  a pushed script's work goes on after it ran: the next pushed
//                      script waits for it
//   qor.subtitle(text) what the window shows after its title (e.g. the file's name)
//   qor.guard(fn)      fn() says what closing the window would lose ('' for nothing);
//                      the window's close control asks the user first
// and runs the scripts the program pushes to the page, in order, once the page's own
// scripts have run. Pushed scripts come as one-shot script addresses, never as text to
// evaluate.
(() => {
  'use strict';

  const self = document.currentScript;
  const base = new URL(self.src).pathname.replace(/\/__qor\/bridge\.js$/, '');
  const language = self.dataset.language || 'en';

  const fresh = () => Array.from(crypto.getRandomValues(new Uint8Array(16)),
                                 (b) => b.toString(16).padStart(2, '0')).join('');
  // The tab's id, shared with the window page around this one and kept across reloads.
  const tab = (() => {
    try {
      let id = sessionStorage.getItem('qor.tab');
      if (!id) sessionStorage.setItem('qor.tab', (id = fresh()));
      return id;
    } catch {
      return fresh();
    }
  })();
  // This load of the page: a reload is a new load, which gets every pushed script again.
  const load = fresh();
  const headers = { 'X-Qor-Tab': tab };
  const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

  function send(body) {
    return fetch(base + '/__qor/message', {
      method: 'POST', cache: 'no-store', referrerPolicy: 'same-origin',
      headers: { ...headers, 'Content-Type': 'application/json' },
      body,
    }).then((answer) => {
      if (!answer.ok) throw new Error(`qor.post: the program refused the message (${answer.status})`);
    });
  }

  function post(strings) {
    if (!Array.isArray(strings) || !strings.every((s) => typeof s === 'string')) {
      return Promise.reject(new TypeError('qor.post wants an array of strings'));
    }
    return send(JSON.stringify(strings));
  }

  // The program reads the text as it reads any message, and refuses what is not an
  // array of strings.
  function postJson(body) {
    if (!(body instanceof Blob) && typeof body !== 'string') {
      return Promise.reject(new TypeError('qor.postJson wants a Blob or a string'));
    }
    return send(body);
  }

  function catalog(name) {
    return fetch(`${base}/__qor/catalog/${encodeURIComponent(String(name))}`, { cache: 'no-store' })
      .then((answer) => (answer.ok ? answer.json() : {}))
      .catch(() => ({}));
  }

  let held = [];
  function hold(promise) {
    held.push(Promise.resolve(promise).catch((e) => console.warn(e && e.message ? e.message : e)));
  }

  // The page's own scripts (deferred ones included) have run.
  let loaded = document.readyState !== 'loading';
  const pageReady = loaded
    ? Promise.resolve()
    : new Promise((resolve) => document.addEventListener('DOMContentLoaded', () => {
      loaded = true;
      resolve();
    }, { once: true }));

  // A script that comes while the page's own still load is asked for at once, not after
  // them; the script element that runs it later takes the preloaded answer.
  function preload(url) {
    if (loaded) return null;
    const link = document.createElement('link');
    link.rel = 'preload';
    link.as = 'script';
    link.href = url;
    (document.head || document.documentElement).appendChild(link);
    return link;
  }

  // Resolves to false when the script could not be had.
  function run(url, link) {
    return pageReady.then(() => new Promise((resolve) => {
      const script = document.createElement('script');
      script.src = url;
      script.onload = script.onerror = (event) => {
        script.remove();
        if (link) link.remove();
        const waiting = held;
        held = [];
        Promise.all(waiting).then(() => resolve(event.type === 'load'));
      };
      (document.head || document.documentElement).appendChild(script);
    }));
  }

  async function follow() {
    let next = 0;
    let retried = -1;
    for (;;) {
      let answer;
      try {
        answer = await fetch(`${base}/__qor/scripts?load=${load}&after=${next}`, {
          cache: 'no-store', headers,
        });
      } catch {
        await sleep(1000);
        continue;
      }
      // 404: the window is gone; 409: another tab has it; 410: a newer load took over.
      if (answer.status === 404 || answer.status === 409 || answer.status === 410) return;
      if (!answer.ok) {
        await sleep(1000);
        continue;
      }
      const batch = await answer.json().catch(() => null);
      if (!batch) continue;
      if (batch.closed) return;
      const links = batch.scripts.map(preload);
      let done = 0;
      for (; done < batch.scripts.length; done++) {
        // Each address is served once: a preload the browser did not reuse leaves the
        // script element without it. Asked again, the program hands out a new address.
        if (!(await run(batch.scripts[done], links[done])) && retried !== next + done) {
          retried = next + done;
          links.slice(done + 1).forEach((link) => link && link.remove());
          break;
        }
      }
      next = done === batch.scripts.length ? batch.next : next + done;
    }
  }

  let guardFn = null;
  function guard(fn) {
    guardFn = typeof fn === 'function' ? fn : null;
  }
  // Read by the window page around this one (same origin) before it closes.
  Object.defineProperty(window, '__qorLoss', {
    value: () => {
      try {
        return guardFn ? String(guardFn() || '') : '';
      } catch {
        return '';
      }
    },
  });

  function subtitle(text) {
    try {
      if (window.parent !== window && typeof window.parent.__qorSubtitle === 'function') {
        window.parent.__qorSubtitle(String(text || ''));
      }
    } catch {
      // a window page of another origin: no subtitle
    }
  }

  window.qor = Object.freeze({ post, postJson, catalog, language, guard, subtitle, hold });

  // Asked for at once, so the program starts on them while the page loads; run once
  // the page's own scripts have (RequireJS among them).
  follow();
})();

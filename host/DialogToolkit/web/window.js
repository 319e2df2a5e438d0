// window.js - the window page of a kit window: its title, its standard buttons and
// its close control; the content (the web viewer) is the iframe. It follows the
// window's state from the kit and reports clicks and closing back.
(() => {
  'use strict';

  const base = new URL(document.currentScript.src).pathname.replace(/\/__qor\/window\.js$/, '');
  // One id per browser tab, kept across reloads: the kit takes a reload of the same
  // tab as the same page session and refuses any other tab.
  const tab = (() => {
    const fresh = () => Array.from(crypto.getRandomValues(new Uint8Array(16)),
                                   (b) => b.toString(16).padStart(2, '0')).join('');
    try {
      let id = sessionStorage.getItem('qor.tab');
      if (!id) sessionStorage.setItem('qor.tab', (id = fresh()));
      return id;
    } catch {
      return fresh();
    }
  })();

  // This load of the page: the kit ignores a late word of leaving from an older load.
  const load = Array.from(crypto.getRandomValues(new Uint8Array(16)),
                          (b) => b.toString(16).padStart(2, '0')).join('');

  const OK = 2, APPLY = 4, SAVE = 8, CANCEL = 16;
  const ORDER = [OK, SAVE, APPLY, CANCEL];
  const NAMES = { [OK]: 'OK', [APPLY]: 'Apply', [SAVE]: 'Save', [CANCEL]: 'Cancel' };

  let state = { v: 0, buttons: 0, visible: true, closed: false };
  let subtitle = '';
  let ended = false;
  let ui = null;

  const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

  function send(path) {
    // keepalive lets the request outlive the page (closing the tab); the referrer
    // policy keeps the Origin header, which the kit requires on every POST.
    return fetch(base + path, {
      method: 'POST', keepalive: true, cache: 'no-store', referrerPolicy: 'same-origin',
      headers: { 'X-Qor-Tab': tab },
    }).catch(() => undefined);
  }

  function showEnded(text) {
    if (!ui) return;
    if (text) ui.endedText.textContent = text;
    ui.ended.hidden = false;
    for (const b of ui.buttons.querySelectorAll('button')) b.disabled = true;
  }

  function render() {
    if (!ui) return;
    if (state.title !== undefined) {
      const full = subtitle ? `${state.title} – ${subtitle}` : state.title;
      document.title = full;
      ui.title.textContent = full;
      ui.viewer.title = state.title;
    }
    ui.close.hidden = state.closeButton === false;
    const labels = state.labels || {};
    const shown = ORDER.filter((value) => state.buttons & value);
    const current = Array.from(ui.buttons.children, (b) => Number(b.dataset.value));
    if (shown.join() !== current.join()) {
      ui.buttons.replaceChildren(...shown.map((value) => {
        const b = document.createElement('button');
        b.type = 'button';
        b.className = value === OK ? 'qor-button qor-primary' : 'qor-button';
        b.dataset.value = String(value);
        b.dataset.name = NAMES[value];
        b.textContent = labels[value] || NAMES[value];
        b.addEventListener('click', () => click(value));
        return b;
      }));
    }
    const open = state.visible && !state.closed;
    ui.ended.hidden = open;
    if (!open && state.closedText) ui.endedText.textContent = state.closedText;
    for (const b of ui.buttons.querySelectorAll('button')) b.disabled = !open;
  }

  function click(value) {
    if (ended || !state.visible || state.closed || !(state.buttons & value)) return;
    send('/__qor/button/' + value);
  }

  async function follow() {
    let failures = 0;
    while (!ended) {
      let answer;
      try {
        answer = await fetch(`${base}/__qor/state?v=${state.v}&load=${load}`, {
          cache: 'no-store', headers: { 'X-Qor-Tab': tab },
        });
      } catch {
        // The program is gone when it stays unreachable: stop asking and say so.
        if (++failures >= 30) {
          ended = true;
          showEnded(state.closedText || 'This dialog is closed.');
          return;
        }
        await sleep(1000);
        continue;
      }
      failures = 0;
      if (answer.status === 409) {
        ended = true;
        const body = await answer.json().catch(() => ({}));
        showEnded(body.text || 'This dialog is open in another tab.');
        return;
      }
      if (answer.status === 404) {
        // The kit forgot the window: it is gone.
        ended = true;
        showEnded(state.closedText || 'This dialog is closed.');
        return;
      }
      if (!answer.ok) {
        await sleep(1000);
        continue;
      }
      state = await answer.json();
      render();
    }
  }

  document.addEventListener('DOMContentLoaded', () => {
    ui = {
      title: document.getElementById('qor-title'),
      close: document.getElementById('qor-close'),
      viewer: document.getElementById('qor-viewer'),
      buttons: document.getElementById('qor-buttons'),
      ended: document.getElementById('qor-ended'),
      endedText: document.getElementById('qor-ended-text'),
    };
    ui.close.addEventListener('click', () => {
      if (ended) return;
      // The page says what closing would lose; the user decides.
      let loss = '';
      try {
        const inner = ui.viewer.contentWindow;
        loss = inner && typeof inner.__qorLoss === 'function' ? inner.__qorLoss() : '';
      } catch {
        loss = '';
      }
      if (loss && !window.confirm(loss)) return;
      ended = true;
      send('/__qor/close');
      showEnded(state.closedText || 'This dialog is closed.');
    });
    render();
  });

  // The page in the frame names what it shows (same origin only: see bridge.js).
  Object.defineProperty(window, '__qorSubtitle', {
    value: (text) => {
      subtitle = String(text).slice(0, 200);
      render();
    },
  });

  // Enter is OK and Escape is Cancel, when the window shows them and the key is not
  // meant for a control of this page.
  document.addEventListener('keydown', (event) => {
    if (event.defaultPrevented || event.isComposing || event.altKey || event.ctrlKey || event.metaKey) return;
    const target = event.target;
    const onControl = target instanceof HTMLElement &&
      target.matches('button, a[href], input, textarea, select, [contenteditable]');
    if (event.key === 'Enter' && !onControl && (state.buttons & OK)) {
      event.preventDefault();
      click(OK);
    } else if (event.key === 'Escape' && (state.buttons & CANCEL)) {
      event.preventDefault();
      click(CANCEL);
    }
  });

  // Leaving is not closing yet: a reload comes back within the kit's grace period.
  window.addEventListener('pagehide', () => {
    if (!ended) send('/__qor/leave?load=' + load);
  });

  follow();
})();

// Small helpers every page loads: a delete form asks first (its
// data-confirm text), and an error page's way back returns to the form as
// it was filled in, which the browser keeps in its history.
document.addEventListener("submit", (event) => {
  const text = event.target.getAttribute("data-confirm");
  if (text && !window.confirm(text)) event.preventDefault();
});
const back = document.getElementById("back");
if (back && window.history.length > 1) {
  back.addEventListener("click", (event) => {
    event.preventDefault();
    window.history.back();
  });
}

#!/usr/bin/env python3
"""Draws the starter puppet's two images, body.png and head.png, beside its
model, with the hero's shapes and colours (standard library only).

The body's pivot is its centre; the head hangs from its bottom edge (anchor
[0.5, 1]), so the face sits on the lower part of its image and the neck is
where the nod turns it.

Run from anywhere:  python3 examples/minimal/make_textures.py
"""
import importlib.util
import os

HERE = os.path.dirname(os.path.abspath(__file__))
_spec = importlib.util.spec_from_file_location(
    "hero_textures", os.path.join(HERE, "..", "hero", "make_textures.py"))
hero = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(hero)


def body():
    c = hero.Canvas(100, 128)
    shape = hero.rounded_rect(10, 4, 90, 124, 22)
    c.shaded(shape, hero.TUNIC, hero.TUNIC_SHADE, lambda x, y: 64 - x)
    collar = hero.polygon([(36, 3), (64, 3), (50, 26)])
    c.fill(collar, hero.SKIN)
    c.fill(hero.outline_of(collar, 2.0), hero.OUTLINE)
    c.fill(hero.outline_of(shape), hero.OUTLINE)
    return c


def head():
    c = hero.Canvas(96, 88)
    face = hero.ellipse(48, 46, 42, 40)
    c.shaded(face, hero.SKIN, hero.SKIN_SHADE, hero.subtract(face, hero.ellipse(42, 40, 44, 42)))
    for x in (33, 63):
        c.fill(hero.ellipse(x, 44, 4.5, 6.5), hero.PUPIL)
        c.fill(hero.ellipse(x - 1.5, 41.5, 1.6, 1.6), hero.WHITE)
    c.fill(hero.stroke(hero.curve((38, 62), (48, 70), (58, 62)), 2.6), hero.MOUTH)
    return c


def main():
    for name, draw in (("body", body), ("head", head)):
        draw().save(name, HERE)
    print("wrote body.png and head.png to %s" % HERE)


if __name__ == "__main__":
    main()

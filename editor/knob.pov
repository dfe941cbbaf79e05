// The editor's knob photo: a metal knob seen obliquely from above.
// One world unit is one pixel of the 700 x 700 picture; y is up, the top
// face lies in the plane y = 0 with its centre at the origin, which the
// camera puts on pixel (350, 248). A world point (X, Y, Z) lands on pixel
// x = 350 + X, y = 248 - (Y C + Z S), with S = 0.82 the sine of the view's
// elevation and C its cosine.
//
// Pass 0 is the picture; pass 1 shows only the lit foot ring on black, the
// source of its glow; pass 2 is a matte of the knurled side, white on black.
// Pass comes from the command line (Declare=Pass=n).

#version 3.7;
#ifndef (Pass) #declare Pass = 0; #end

global_settings { assumed_gamma 1.0 max_trace_level 6 }

#declare S = 0.82;
#declare C = 0.5723635208501675;   // sqrt(1 - S * S)
#declare LookY = -58.381;          // face centre 102 pixels above the picture's centre:
#declare LookZ = -83.640;          // look_at = -(350 - 248) x screen-up

camera {
    orthographic
    location <0, LookY + 3000 * S, LookZ - 3000 * C>
    right <700, 0, 0>
    up <0, 700, 0>
    look_at <0, LookY, LookZ>
}

// ---------------------------------------------------------------- sizes ---
#declare FaceR = 210;        // brushed top face
#declare CapR = 58;          // centre cap (the face turns from 62 outwards)
#declare CapTop = 7;         // height of the cap's dome above the face
#declare CapSphere = (CapR * CapR + (CapTop - 1.5) * (CapTop - 1.5)) / (2 * (CapTop - 1.5)); // rim 1.5 above the face
#declare SideR = 227.85;     // knurled side: its silhouette, just inside the picture's column 578
#declare SideTop = -10 / C;  // the side's top outline 10 pixels below the face centre
#declare SideBottom = -110 / C; // a visible band about 100 pixels deep
#declare Ridges = 72;
#declare RidgeR = 5.2;
// Ridges stand half a step off the front and the silhouettes, and the two
// beside each silhouette reach out to SideR.
#declare RidgeD = (SideR - RidgeR) / cos(pi / Ridges);
#declare FootTop = SideBottom - 12;
#declare FootBottom = SideBottom - 40;
#declare FootR = SideR - 8;  // inside the knurl's core: nothing lit shows beside or between the ridges

// ------------------------------------------------------------- lighting ---
#if (Pass = 0)
light_source { <-700, 1100, -500> color rgb 1.25
    area_light <200, 0, 0>, <0, 0, 200>, 5, 5 adaptive 1 jitter circular orient
    fade_distance 1400 fade_power 1 }
light_source { <1800, 1200, -2400> color rgb <0.22, 0.26, 0.32> shadowless }

// The studio around the knob, seen only in its reflections: dark overall,
// a broad soft box near the key light and a cool strip on the right.
sphere { 0, 5000
    texture {
        pigment {
            function { max(0, min(1, 0.04 + 1.1 * pow(max(0, (-0.45 * x - 0.6 * z + 0.66 * y) / 5000), 3))) }
            color_map { [0 rgb <0.015, 0.02, 0.03>] [0.5 rgb <0.45, 0.48, 0.52>] [1 rgb <1.6, 1.6, 1.65>] }
        }
        finish { emission 1 diffuse 0 }
    }
    hollow no_image no_shadow
}
sphere { <2600, 400, -2600>, 900
    texture { pigment { rgb <0.10, 0.16, 0.26> } finish { emission 1 diffuse 0 } }
    no_image no_shadow
}
#end

// ------------------------------------------------------------- textures ---
// The editor relights the knurled side against a 21 x 21 box-blurred copy of
// this picture, whose window beside a silhouette is half empty ground. The
// dark metal therefore falls off toward the silhouettes, in stored brightness
// linearly from its full tone 10 pixels in to a third of it at the edge, so
// that the blur there matches the pixels themselves; the outermost column
// keeps a faint glint. Pigment factor for a point at horizontal position X.
#declare EdgeShade = function(X) {
    pow(min(1, (SideR - abs(X) + 5) / 15), 2.2) * select(SideR - abs(X) - 0.85, 1.8, 1)
}
#declare Black = texture { pigment { rgb 0 } finish { ambient 0 diffuse 0 emission 0 } }

// Light aluminium brushed in one direction: grooves of random spacing and
// depth run along x, with a faint slower waviness across them.
#declare Brushed = texture {
    pigment {
        bumps scale <700, 1, 0.7>
        color_map { [0 rgb <0.70, 0.72, 0.75>] [0.5 rgb <0.80, 0.82, 0.85>] [1 rgb <0.88, 0.90, 0.92>] }
    }
    normal {
        average
        normal_map {
            [1.0 bumps 0.28 scale <900, 1, 0.5>]
            [0.6 bumps 0.16 scale <260, 1, 2.2>]
            [0.3 wrinkles 0.08 scale <400, 1, 18>]
        }
    }
    finish {
        ambient 0 diffuse 0.5 brilliance 1.8
        specular 0.45 roughness 0.09 metallic
        reflection { 0.25 metallic }
    }
}

// The centre cap: polished metal with faint concentric turning marks.
#declare Cap = texture {
    pigment { rgb <0.74, 0.76, 0.80> }
    normal { onion 0.04 sine_wave scale 1.1 }
    finish {
        ambient 0 diffuse 0.35 brilliance 2
        specular 0.6 roughness 0.02 metallic
        reflection { 0.5 metallic }
    }
}

#declare Gap = texture { pigment { rgb 0.01 } finish { ambient 0 diffuse 0.2 } }

// Polished chamfer; over its last 16 pixels toward the silhouettes it is as
// dark as the knurl below it (on the lit left, where it faces the key light,
// its pigment is darker to match), and it brightens over the next 30.
#declare ChamferLit = texture {
    pigment { rgb <0.86, 0.87, 0.89> }
    normal { onion 0.1 scale 0.8 }
    finish { ambient 0 diffuse 0.35 specular 0.9 roughness 0.008 metallic reflection { 0.55 metallic } }
}
#declare ChamferDark = texture {
    pigment { function { EdgeShade(x) * select(x, 0.3, 1) } color_map { [0 rgb 0] [1 rgb <0.075, 0.08, 0.09>] } }
    finish { ambient 0 diffuse 0.55 brilliance 1.5 specular 0.35 roughness 0.03 metallic reflection { 0.14 metallic } }
}
#declare Chamfer = texture {
    function { pow(min(1, max(0, (SideR - abs(x) - 16) / 30)), 1.5) }
    texture_map { [0 ChamferDark] [1 ChamferLit] }
}

// Dark anodised knurl, smooth along its ridges (any grain across them would
// show as streaks where the editor stretches the silhouette's columns).
#declare Knurl = texture {
    pigment {
        function { EdgeShade(x) }
        color_map { [0 rgb 0] [1 rgb <0.075, 0.08, 0.09>] }
    }
    finish {
        ambient 0 diffuse 0.55 brilliance 1.5
        specular 0.35 roughness 0.03 metallic
        reflection { 0.14 metallic }
    }
}

#declare FootMetal = texture {
    pigment { function { EdgeShade(x) } color_map { [0 rgb 0] [1 rgb <0.05, 0.055, 0.065>] } }
    finish { ambient 0 diffuse 0.4 specular 0.3 roughness 0.03 reflection { 0.08 } }
}

#declare Lit = texture {
    pigment { rgb <0.12, 0.55, 1.0> }
    finish { ambient 0 diffuse 0.2 emission 1.25 }
}

#declare White = texture { pigment { rgb 1 } finish { ambient 0 diffuse 0 emission 1 } }

#macro Pick(Normal, GlowOnly, Matte)
    #switch (Pass)
        #case (1) GlowOnly #break
        #case (2) Matte #break
        #else Normal
    #end
#end

// ---------------------------------------------------------------- knob ---
union {
    // Top face, with a round recess for the cap.
    difference {
        cylinder { <0, -4, 0>, <0, 0, 0>, FaceR }
        cylinder { <0, -5, 0>, <0, 1, 0>, CapR + 4 }
        texture { Pick(Brushed, Black, Black) }
    }
    // The recess's dark floor, seen as a thin gap around the cap.
    cylinder { <0, -4, 0>, <0, -2.5, 0>, CapR + 4 texture { Pick(Gap, Black, Black) } }
    // Centre cap, domed, standing a little above the face.
    intersection {
        sphere { <0, CapTop - CapSphere, 0>, CapSphere }
        cylinder { <0, -3, 0>, <0, CapTop + 1, 0>, CapR }
        texture { Pick(Cap, Black, Black) }
    }
    // Polished chamfer from the face down to the side.
    cone { <0, -0.5, 0>, FaceR + 0.5, <0, SideTop, 0>, SideR texture { Pick(Chamfer, Black, Black) } }

    // Knurled side: a core with rounded ridges around it.
    union {
        cylinder { <0, SideTop, 0>, <0, SideBottom, 0>, SideR - 7 }
        #declare I = 0;
        #while (I < Ridges)
            cylinder { <0, SideTop, RidgeD>, <0, SideBottom, RidgeD>, RidgeR
                rotate y * (I + 0.5) * 360 / Ridges }
            #declare I = I + 1;
        #end
        texture { Pick(Knurl, Black, White) }
    }
    // Lower edge of the side, a dark band flush with the ridges, and the lit
    // ring at the foot.
    cylinder { <0, SideBottom + 1, 0>, <0, FootTop, 0>, SideR texture { Pick(FootMetal, Black, Black) } }
    cylinder { <0, FootTop, 0>, <0, FootBottom, 0>, FootR texture { Pick(Lit, Lit, Black) } }
}
